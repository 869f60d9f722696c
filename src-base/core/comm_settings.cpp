#include "src-base/core/comm_settings.h"

#include <cstddef>
#include <sstream>

// The parser follows what BuildCommDCBA does on Windows NT and later, field by field:
// - Only the fields the string names are written; every other field keeps the value of `base`. In
//   particular fBinary and fParity are never touched (Windows sets the parity scheme, not the
//   parity-checking flag, even for parity=e), and neither are XonLim, XoffLim and ErrorChar.
// - Keyword form ("baud=9600 parity=n ..."): keywords are case-insensitive and separated by blanks only.
//   A comma anywhere in the string selects the positional form instead, so "baud=9600,data=8" is rejected.
//   When "stop=" is missing the stop bits are set anyway: two for an explicit baud=110, one otherwise.
// - Positional form ("9600,n,8,1[,x|p]"): baud, parity, data bits and stop bits are all required, blanks
//   around the commas are allowed, and the two-digit abbreviations 11, 30, 60, 12, 24, 48, 96 and 19 stand
//   for 110 ... 19200 baud. The optional fifth field sets the flow control: none (DTR and RTS on), x
//   (XON/XOFF) or p (hardware handshake); the flow-control fields are set even when it is missing.
// - An optional "COMn" prefix (n from 1, followed by ':' or blanks) is skipped. Windows also checks that
//   the port exists; a string carries no such knowledge, so any port number is accepted here.
// - The string must not begin with a blank. Blanks at the end are tolerated in both forms.

namespace Ziz
{
namespace
{
constexpr std::uint32_t maxDword = 0xffffffffu;

class Cursor
{
public:
    explicit Cursor (const std::string& text) : s (text) {}

    bool atEnd() const { return pos >= s.size(); }
    char peek() const { return atEnd() ? '\0' : s[pos]; }
    char take() { return atEnd() ? '\0' : s[pos++]; }
    void skipBlanks()
    {
        while (peek() == ' ')
            ++pos;
    }

    // Case-insensitive match of an ASCII keyword at the cursor; advances past it on success.
    bool takeWord (const char* word)
    {
        std::size_t i = 0;
        for (; word[i] != '\0'; ++i)
        {
            if (pos + i >= s.size() || lower (s[pos + i]) != lower (word[i]))
                return false;
        }
        pos += i;
        return true;
    }

    bool takeExact (const char* word)
    {
        std::size_t i = 0;
        for (; word[i] != '\0'; ++i)
        {
            if (pos + i >= s.size() || s[pos + i] != word[i])
                return false;
        }
        pos += i;
        return true;
    }

    // Decimal digits; a value too large for a DWORD saturates, as the C library's strtoul does there.
    bool takeNumber (std::uint32_t& value)
    {
        if (! isDigit (peek()))
            return false;
        std::uint64_t v = 0;
        while (isDigit (peek()))
        {
            v = v * 10 + static_cast<std::uint64_t> (take() - '0');
            if (v > maxDword)
                v = static_cast<std::uint64_t> (maxDword) + 1;
        }
        value = v > maxDword ? maxDword : static_cast<std::uint32_t> (v);
        return true;
    }

    static bool isDigit (char c) { return c >= '0' && c <= '9'; }
    static char lower (char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char> (c - 'A' + 'a') : c; }

    const std::string& s;
    std::size_t pos = 0;
};

bool parseParity (Cursor& c, int& parity)
{
    switch (Cursor::lower (c.take()))
    {
        case 'n': parity = 0; return true;
        case 'o': parity = 1; return true;
        case 'e': parity = 2; return true;
        case 'm': parity = 3; return true;
        case 's': parity = 4; return true;
        default: return false;
    }
}

bool parseByteSize (Cursor& c, std::uint8_t& byteSize)
{
    std::uint32_t v = 0;
    if (! c.takeNumber (v) || v < 5 || v > 8)
        return false;
    byteSize = static_cast<std::uint8_t> (v);
    return true;
}

bool parseStopBits (Cursor& c, int& stopBits)
{
    if (c.takeExact ("1.5"))
    {
        stopBits = 1;
        return true;
    }
    std::uint32_t v = 0;
    if (! c.takeNumber (v))
        return false;
    if (v == 1)
        stopBits = 0;
    else if (v == 2)
        stopBits = 2;
    else
        return false;
    return true;
}

// "on" and "off"; DTR also knows "hs" (handshake), RTS "hs" and "tg" (toggle).
bool parseSwitch (Cursor& c, int& value, bool allowHandshake, bool allowToggle)
{
    if (c.takeWord ("on"))
        value = 1;
    else if (c.takeWord ("off"))
        value = 0;
    else if (allowHandshake && c.takeWord ("hs"))
        value = 2;
    else if (allowToggle && c.takeWord ("tg"))
        value = 3;
    else
        return false;
    return true;
}

bool parseFlag (Cursor& c, bool& flag)
{
    int v = 0;
    if (! parseSwitch (c, v, false, false))
        return false;
    flag = v != 0;
    return true;
}

// "COM4:", "com12 :" and the like in front of the settings.
bool skipPortPrefix (Cursor& c)
{
    if (c.takeWord ("com"))
    {
        if (c.peek() < '1' || c.peek() > '9')
            return false;
        while (Cursor::isDigit (c.peek()))
            c.take();
        if (c.peek() != ':' && c.peek() != ' ')
            return false;
        c.skipBlanks();
        if (c.peek() == ':')
        {
            c.take();
            c.skipBlanks();
        }
        return true;
    }
    return c.peek() != ' ';
}

bool takeComma (Cursor& c)
{
    c.skipBlanks();
    if (c.take() != ',')
        return false;
    c.skipBlanks();
    return true;
}

bool parsePositional (Cursor& c, CommSettings& s)
{
    if (! c.takeNumber (s.baudRate))
        return false;
    switch (s.baudRate)
    {
        case 11: case 30: case 60: s.baudRate *= 10; break;
        case 12: case 24: case 48: case 96: s.baudRate *= 100; break;
        case 19: s.baudRate = 19200; break;
        default: break;
    }

    if (! takeComma (c) || ! parseParity (c, s.parity))
        return false;
    if (! takeComma (c) || ! parseByteSize (c, s.byteSize))
        return false;
    if (! takeComma (c) || ! parseStopBits (c, s.stopBits))
        return false;

    char flow = '\0';
    c.skipBlanks();
    if (c.peek() == ',')
    {
        c.take();
        c.skipBlanks();
        if (! c.atEnd())
            flow = Cursor::lower (c.take());
        c.skipBlanks();
    }

    switch (flow)
    {
        case '\0':
            s.inX = s.outX = false;
            s.outxCtsFlow = s.outxDsrFlow = false;
            s.dtrControl = s.rtsControl = 1;
            break;
        case 'x':
            s.inX = s.outX = true;
            s.outxCtsFlow = s.outxDsrFlow = false;
            s.dtrControl = s.rtsControl = 1;
            break;
        case 'p':
            s.inX = s.outX = false;
            s.outxCtsFlow = s.outxDsrFlow = true;
            s.dtrControl = s.rtsControl = 2;
            break;
        default:
            return false;
    }
    return c.atEnd();
}

bool parseKeywords (Cursor& c, CommSettings& s)
{
    bool baudGiven = false;
    bool stopGiven = false;

    for (c.skipBlanks(); ! c.atEnd(); c.skipBlanks())
    {
        bool ok = false;
        if (c.takeWord ("baud="))
        {
            baudGiven = true;
            ok = c.takeNumber (s.baudRate);
        }
        else if (c.takeWord ("parity="))
            ok = parseParity (c, s.parity);
        else if (c.takeWord ("data="))
            ok = parseByteSize (c, s.byteSize);
        else if (c.takeWord ("stop="))
        {
            stopGiven = true;
            ok = parseStopBits (c, s.stopBits);
        }
        else if (c.takeWord ("to="))
            ok = parseFlag (c, s.infiniteTimeout);
        else if (c.takeWord ("xon="))
        {
            ok = parseFlag (c, s.outX);
            s.inX = s.outX;
        }
        else if (c.takeWord ("odsr="))
            ok = parseFlag (c, s.outxDsrFlow);
        else if (c.takeWord ("octs="))
            ok = parseFlag (c, s.outxCtsFlow);
        else if (c.takeWord ("dtr="))
            ok = parseSwitch (c, s.dtrControl, true, false);
        else if (c.takeWord ("rts="))
            ok = parseSwitch (c, s.rtsControl, true, true);
        else if (c.takeWord ("idsr="))
            ok = parseFlag (c, s.dsrSensitivity);

        // A value must end at a blank or at the end: "parity=no" and "stop=1.50" are rejected.
        if (! ok || (! c.atEnd() && c.peek() != ' '))
            return false;
    }

    if (! stopGiven)
        s.stopBits = (baudGiven && s.baudRate == 110) ? 2 : 0;
    return true;
}
} // namespace

std::optional<CommSettings> parseModeString (const std::string& mode, const CommSettings& base)
{
    CommSettings settings = base;
    Cursor c (mode);
    if (! skipPortPrefix (c))
        return std::nullopt;

    const bool positional = mode.find (',', c.pos) != std::string::npos;
    const bool ok = positional ? parsePositional (c, settings) : parseKeywords (c, settings);
    if (! ok)
        return std::nullopt;
    return settings;
}

std::string describeCommSettings (const std::string& device, const CommSettings& s)
{
    std::ostringstream out;
    out << "device=" << device
        << " Baud=" << s.baudRate
        << " Binary=" << (s.binary ? 1 : 0)
        << " Parity=" << (s.parityCheck ? 1 : 0)
        << " OutxCtsFlow=" << (s.outxCtsFlow ? 1 : 0)
        << " OutxDsrFlow=" << (s.outxDsrFlow ? 1 : 0)
        << " DtrControl=" << s.dtrControl
        << " DsrSensitivity=" << (s.dsrSensitivity ? 1 : 0)
        << " TXContinueOnXoff=" << (s.txContinueOnXoff ? 1 : 0)
        << " OutX=" << (s.outX ? 1 : 0)
        << " InX=" << (s.inX ? 1 : 0)
        << " ErrorChar=" << static_cast<int> (s.errorChar)
        << " Null=" << (s.null ? 1 : 0)
        << " RtsControl=" << s.rtsControl
        << " AbortOnError=" << (s.abortOnError ? 1 : 0)
        << " XonLim=" << s.xonLim
        << " XoffLim=" << s.xoffLim
        << " ByteSize=" << static_cast<int> (s.byteSize)
        << " Parity=" << s.parity
        << " StopBits=" << s.stopBits;
    return out.str();
}
} // namespace Ziz
