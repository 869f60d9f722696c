#pragma once

// Windows-style command lines, as CreateProcess receives them, split into the argument list a program
// built with the Microsoft C runtime would see.

#include <string>
#include <vector>

namespace Ziz
{
// Splits a command line the way the Microsoft C runtime (and CommandLineToArgvW) builds argv:
//  - the program name runs to the first blank or tab outside double quotes; quotes in it only group and
//    backslashes in it are plain characters (a program name is a file name);
//  - every later argument: blanks and tabs separate, double quotes group, and backslashes are plain
//    characters except in front of a double quote, where 2n backslashes give n backslashes and the quote
//    opens or closes a quoted part, and 2n+1 backslashes give n backslashes and a literal quote;
//  - "" inside a quoted part gives one literal quote and the part stays open (the current runtime's rule).
// A program name that is empty because the line starts with a blank is kept as an empty first element;
// a line of nothing but blanks and tabs gives an empty list.
std::vector<std::string> splitCommandLine (const std::string& commandLine);

// One argument (not the program name) in double quotes, written so that splitCommandLine, and so the
// Microsoft C runtime, gives back exactly the text: backslashes in front of a quote or of the closing quote
// are doubled, and a quote in the text becomes \". Backslashes elsewhere stay single, so a Windows path
// reads as it is. Every command line the system builds quotes its arguments with this.
std::string quoteArgument (const std::string& text);
} // namespace Ziz
