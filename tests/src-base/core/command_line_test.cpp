#include "src-base/core/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct SplitCase
{
    const char* commandLine;
    std::vector<std::string> expected;
};

// Expected lists are what a program built with the Microsoft C runtime receives as argv.
const SplitCase splitCases[] = {
    // Arguments: quotes group, backslashes count only in front of a quote.
    { R"(p "a b c" d e)", { "p", "a b c", "d", "e" } },
    { R"(p "ab\"c" "\\" d)", { "p", R"(ab"c)", R"(\)", "d" } },
    { R"(p a\\\b d"e f"g h)", { "p", R"(a\\\b)", "de fg", "h" } },
    { R"(p a\\\"b c d)", { "p", R"(a\"b)", "c", "d" } },
    { R"(p a\\\\"b c" d e)", { "p", R"(a\\b c)", "d", "e" } },
    { R"(p a\\ "x\\")", { "p", R"(a\\)", R"(x\)" } },
    // "" inside quotes is a literal quote and the quoted part goes on.
    { R"(p a"b"" c d)", { "p", R"(ab" c d)" } },
    { R"(p """" x)", { "p", R"(")", "x" } },
    // "" outside quotes is an empty argument; an open quote runs to the end.
    { R"(p "" x)", { "p", "", "x" } },
    { R"(p "a  b)", { "p", "a  b" } },
    // Blanks and tabs separate; runs of them and trailing ones add nothing.
    { "p \t a\t\tb   ", { "p", "a", "b" } },
    // The program name: quotes only group, backslashes are plain, even before a quote.
    { R"("C:\Program Files\x\" arg)", { R"(C:\Program Files\x\)", "arg" } },
    { R"(C:\tools\opc.exe x)", { R"(C:\tools\opc.exe)", "x" } },
    { R"(pro"g n"ame x)", { "prog name", "x" } },
    { R"(OPCConsole.exe "C:\ProgramData\Dadovir\Duvi dud.cfg")", { "OPCConsole.exe", R"(C:\ProgramData\Dadovir\Duvi dud.cfg)" } },
    // A leading blank leaves an empty program name; a blank line has no arguments at all.
    { " x", { "", "x" } },
    { "", {} },
    { " \t ", {} },
    { R"x(curl --max-time 60 --user-agent "VUR/1.0 (h a@b)" --output "/t/temp_1.vur.out" --url "http://h/?C=M;O=D" )x",
      { "curl", "--max-time", "60", "--user-agent", "VUR/1.0 (h a@b)", "--output", "/t/temp_1.vur.out", "--url",
        "http://h/?C=M;O=D" } },
};

TEST (SplitCommandLine, FollowsTheWindowsRuntimeRules)
{
    for (const auto& c : splitCases)
        EXPECT_EQ (Ziz::splitCommandLine (c.commandLine), c.expected) << "command line: [" << c.commandLine << "]";
}
} // namespace

TEST (QuoteArgument, SplitsBackToTheTextThatWasQuoted)
{
    struct Case
    {
        const char* what;
        std::string text;
        std::string quoted;
    };
    const Case cases[] = {
        { "plain", "abc", R"("abc")" },
        { "empty", "", R"("")" },
        { "blanks and tabs", "a b\tc  ", "\"a b\tc  \"" },
        { "Windows path", R"(C:\Users\op\Temp\temp_1.vur.out)", R"("C:\Users\op\Temp\temp_1.vur.out")" },
        { "folder with a trailing backslash", R"(C:\Program Files\)", R"("C:\Program Files\\")" },
        { "two trailing backslashes", R"(a\\)", R"("a\\\\")" },
        { "only a backslash", R"(\)", R"("\\")" },
        { "embedded quote", R"(say "hi")", R"("say \"hi\"")" },
        { "backslash before a quote", R"(a\"b)", R"("a\\\"b")" },
        { "two backslashes before a quote", R"(a\\"b)", R"("a\\\\\"b")" },
        { "only a quote", R"(")", R"("\"")" },
        { "two quotes", R"("")", R"("\"\"")" },
        { "backslash then blank", R"(a\ b\)", R"("a\ b\\")" },
        { "options inside", R"(x" --output "/etc/y)", R"("x\" --output \"/etc/y")" },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ (Ziz::quoteArgument (c.text), c.quoted) << c.what;
        // Between other arguments, so that an argument that ran on into its neighbours shows.
        const std::string commandLine = "prog " + Ziz::quoteArgument (c.text) + " next " + Ziz::quoteArgument (c.text) + " last";
        const std::vector<std::string> expected { "prog", c.text, "next", c.text, "last" };
        EXPECT_EQ (Ziz::splitCommandLine (commandLine), expected) << c.what << ": [" << commandLine << "]";
    }
}
