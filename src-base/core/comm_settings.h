#pragma once

// Serial line settings as the Windows DCB holds them, and the parser of the Windows `mode` syntax
// ("baud=9600 parity=N data=8 stop=1 ..." and the old positional "9600,n,8,1") that fills them.

#include <cstdint>
#include <optional>
#include <string>

namespace Ziz
{
struct CommSettings
{
    std::uint32_t baudRate = 0;
    bool binary = true;
    bool parityCheck = false;     // fParity
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    int dtrControl = 0;           // 0 disable, 1 enable, 2 handshake
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    std::int8_t errorChar = 0;
    bool null = false;
    int rtsControl = 0;           // 0 disable, 1 enable, 2 handshake, 3 toggle
    bool abortOnError = false;
    std::uint16_t xonLim = 0;
    std::uint16_t xoffLim = 0;
    std::uint8_t byteSize = 8;
    int parity = 0;               // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;             // 0 one, 1 one and a half, 2 two
    bool infiniteTimeout = false; // to=on
};

// COMMTIMEOUTS, in milliseconds.
struct CommTimeouts
{
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// Fills settings from a mode string the way BuildCommDCBA does, starting from `base`: fields the string does
// not name keep base's values (binary and parityCheck are never named). Nothing where Windows would reject
// the string. Keywords are separated by blanks only; a comma selects the positional form.
std::optional<CommSettings> parseModeString (const std::string& mode, const CommSettings& base = {});

// The log line written after the settings are read back: "device=... Baud=... StopBits=...".
std::string describeCommSettings (const std::string& device, const CommSettings& settings);
} // namespace Ziz
