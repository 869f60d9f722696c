#pragma once

// The in-house support library's text and file helpers. All work on 8-bit strings, byte for byte.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace Ziz
{
std::string getVersion();

// The whole file as bytes, or its first maxBytes; a file that cannot be opened reads as empty text.
std::string readFile (const std::string& fileName, std::size_t maxBytes = SIZE_MAX);

// The file as lines without their line ends (LF or CR LF). A file ending in a line break yields a final
// empty line, an empty file one empty line. Throws Ziz::Exception when mustOpen is set and the file cannot be
// opened, or when mustHaveLine is set and nothing was read.
std::vector<std::string> readTextFile (const std::string& fileName, bool mustOpen, bool mustHaveLine);

std::string formatSize (std::uint64_t bytes);
std::string formatFixed (double value, int decimals);

// An age in words relative to now ("5 minutes ago", "in 1 second"); the second form takes now explicitly.
std::string formatAge (std::int64_t when);
std::string formatAge (std::int64_t when, std::int64_t now);

std::string trim (const std::string& text);
void trimInPlace (std::string& text);
std::string simplifyWhitespace (const std::string& text);
std::vector<std::string> splitWords (const std::string& text);
std::string toLower (const std::string& text);
} // namespace Ziz
