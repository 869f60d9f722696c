#include "src-base/core/comm_settings.h"

#include <gtest/gtest.h>

using Ziz::CommSettings;
using Ziz::parseModeString;

namespace
{
// A base whose every field differs from what a mode string can set, so that a field the string does not
// name shows up as left alone.
CommSettings markedBase()
{
    CommSettings s;
    s.baudRate = 777;
    s.binary = true;
    s.parityCheck = true;
    s.outxCtsFlow = true;
    s.outxDsrFlow = true;
    s.dtrControl = 3;
    s.dsrSensitivity = true;
    s.txContinueOnXoff = true;
    s.outX = true;
    s.inX = true;
    s.errorChar = -5;
    s.null = true;
    s.rtsControl = 3;
    s.abortOnError = true;
    s.xonLim = 1234;
    s.xoffLim = 4321;
    s.byteSize = 99;
    s.parity = 99;
    s.stopBits = 99;
    s.infiniteTimeout = true;
    return s;
}

struct Accepted
{
    const char* mode;
    std::uint32_t baud;
    int byteSize, parity, stopBits;
    int cts, dsr, dtr, rts, xon, idsr;
};

constexpr int keep = -1;   // the field keeps the marked base's value

// The results BuildCommDCBA gives for these strings on Windows.
const Accepted acceptedCases[] = {
    { "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off",
      9600, 8, 0, 0, 0, 0, 1, 1, 0, 0 },
    { "baud=9600 parity=e data=5 stop=1 xon=on odsr=off octs=off dtr=on rts=on idsr=on",
      9600, 5, 2, 0, 0, 0, 1, 1, 1, 1 },
    { "baud=0 parity=M data=6 stop=1.5 xon=off odsr=on octs=ON dtr=off rts=off idsr=OFF",
      0, 6, 3, 1, 1, 1, 0, 0, 0, 0 },
    { "BAUD=4000000000 parity=n data=7 stop=2 to=off", 4000000000u, 7, 0, 2, keep, keep, keep, keep, keep, keep },
    // Without stop= the stop bits are set anyway: one, or two at 110 baud.
    { "Baud=115200 Parity=O Data=8 To=On", 115200, 8, 1, 0, keep, keep, keep, keep, keep, keep },
    { "baud=110", 110, 99, 99, 2, keep, keep, keep, keep, keep, keep },
    { "PaRiTy=s           Data=7          DTR=on", 777, 7, 4, 0, keep, keep, 1, keep, keep, keep },
    { "dtr=hs rts=tg", 777, 99, 99, 0, keep, keep, 2, 3, keep, keep },
    { "rts=hs   ", 777, 99, 99, 0, keep, keep, keep, 2, keep, keep },
    { "COM4:baud=38400 data=8", 38400, 8, 99, 0, keep, keep, keep, keep, keep, keep },
    { "COM3  :to=on stop=1.5", 777, 99, 99, 1, keep, keep, keep, keep, keep, keep },
    { "com12 : xon=on odsr=off", 777, 99, 99, 0, keep, 0, keep, keep, 1, keep },
    // The positional form always sets the flow control, and knows two-digit abbreviations of the rate.
    { "11,n,8,1", 110, 8, 0, 0, 0, 0, 1, 1, 0, keep },
    { "30 ,E, 5,1.5", 300, 5, 2, 1, 0, 0, 1, 1, 0, keep },
    { "60, m, 6, 2 ", 600, 6, 3, 2, 0, 0, 1, 1, 0, keep },
    { "12 , o , 7 , 1", 1200, 7, 1, 0, 0, 0, 1, 1, 0, keep },
    { "48,n,8,1,p", 4800, 8, 0, 0, 1, 1, 2, 2, 0, keep },
    { "96,N,8,1 , x ", 9600, 8, 0, 0, 0, 0, 1, 1, 1, keep },
    { "19, e, 7, 1, x", 19200, 7, 2, 0, 0, 0, 1, 1, 1, keep },
    { "57600,S,6,2,x", 57600, 6, 4, 2, 0, 0, 1, 1, 1, keep },
    { "COM1:  9600,N,8,1", 9600, 8, 0, 0, 0, 0, 1, 1, 0, keep },
};

// Strings BuildCommDCBA refuses.
const char* const rejectedCases[] = {
    "data=4", "data=9", "parity=no", "parity=x", "stop=0", "stop=1.501", "stop=3", "to=foobar",
    " baud=9600",          // may not begin with a blank
    "baud= 9600",          // nor have one after '='
    "baud=9600,data=8",    // a comma means the positional form
    "baud=9600\tdata=8",   // blanks only
    "speed=9600", "dtr=tg", "xon=hs", "idsr=hs", "baud=", "baud=fast",
    "96,N,8,1 to=on", "96,NO,8,1", "96,N,4,1", "96,N,9,1", "96,N,8,0", "96,N,8,3", "96,N,8,1,K", "96,N,8",
    "COM0:baud=115200", "COM0:9600,N,8,1", "COMx:baud=9600",
};
} // namespace

TEST (CommSettings, AcceptedStringsFillTheNamedFieldsOnly)
{
    const CommSettings base = markedBase();
    for (const auto& c : acceptedCases)
    {
        SCOPED_TRACE (c.mode);
        const auto parsed = parseModeString (c.mode, base);
        ASSERT_TRUE (parsed.has_value());
        const CommSettings& s = *parsed;
        EXPECT_EQ (s.baudRate, c.baud);
        EXPECT_EQ (s.byteSize, c.byteSize);
        EXPECT_EQ (s.parity, c.parity);
        EXPECT_EQ (s.stopBits, c.stopBits);
        EXPECT_EQ (s.outxCtsFlow, c.cts == keep ? base.outxCtsFlow : c.cts != 0);
        EXPECT_EQ (s.outxDsrFlow, c.dsr == keep ? base.outxDsrFlow : c.dsr != 0);
        EXPECT_EQ (s.dtrControl, c.dtr == keep ? base.dtrControl : c.dtr);
        EXPECT_EQ (s.rtsControl, c.rts == keep ? base.rtsControl : c.rts);
        EXPECT_EQ (s.outX, c.xon == keep ? base.outX : c.xon != 0);
        EXPECT_EQ (s.inX, s.outX);
        EXPECT_EQ (s.dsrSensitivity, c.idsr == keep ? base.dsrSensitivity : c.idsr != 0);

        // Never touched by a mode string, parity=e included.
        EXPECT_EQ (s.binary, base.binary);
        EXPECT_EQ (s.parityCheck, base.parityCheck);
        EXPECT_EQ (s.txContinueOnXoff, base.txContinueOnXoff);
        EXPECT_EQ (s.errorChar, base.errorChar);
        EXPECT_EQ (s.null, base.null);
        EXPECT_EQ (s.abortOnError, base.abortOnError);
        EXPECT_EQ (s.xonLim, base.xonLim);
        EXPECT_EQ (s.xoffLim, base.xoffLim);
    }
}

TEST (CommSettings, RejectedStringsGiveNothing)
{
    for (const char* mode : rejectedCases)
        EXPECT_FALSE (parseModeString (mode, markedBase()).has_value()) << '"' << mode << '"';
}

TEST (CommSettings, TimeoutSwitchIsRecorded)
{
    EXPECT_TRUE (parseModeString ("to=on", CommSettings {})->infiniteTimeout);
    EXPECT_FALSE (parseModeString ("to=off", markedBase())->infiniteTimeout);
    EXPECT_TRUE (parseModeString ("baud=9600", markedBase())->infiniteTimeout);
}

TEST (CommSettings, DescriptionListsEveryFieldInOrder)
{
    const auto s = parseModeString ("baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on "
                                    "rts=on idsr=off");
    ASSERT_TRUE (s.has_value());
    EXPECT_EQ (Ziz::describeCommSettings ("/dev/ttyS0", *s),
               "device=/dev/ttyS0 Baud=9600 Binary=1 Parity=0 OutxCtsFlow=0 OutxDsrFlow=0 DtrControl=1 "
               "DsrSensitivity=0 TXContinueOnXoff=0 OutX=0 InX=0 ErrorChar=0 Null=0 RtsControl=1 AbortOnError=0 "
               "XonLim=0 XoffLim=0 ByteSize=8 Parity=0 StopBits=0");

    EXPECT_EQ (Ziz::describeCommSettings ("com4", markedBase()),
               "device=com4 Baud=777 Binary=1 Parity=1 OutxCtsFlow=1 OutxDsrFlow=1 DtrControl=3 DsrSensitivity=1 "
               "TXContinueOnXoff=1 OutX=1 InX=1 ErrorChar=-5 Null=1 RtsControl=3 AbortOnError=1 XonLim=1234 "
               "XoffLim=4321 ByteSize=99 Parity=99 StopBits=99");
}
