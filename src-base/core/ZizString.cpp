#include "src-base/core/ZizString.h"

#include "src-base/core/ZizException.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace Ziz
{
std::string getVersion() { return "0.0.1-2440"; }

std::string readFile (const std::string& fileName, std::size_t maxBytes)
{
    std::ifstream in (std::filesystem::u8path (fileName), std::ios::in | std::ios::binary);
    if (! in)
        return {};
    if (maxBytes == SIZE_MAX)
        return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());

    std::string bytes;
    std::string chunk (65536, '\0');
    while (bytes.size() < maxBytes && in)
    {
        in.read (chunk.data(), static_cast<std::streamsize> (std::min (chunk.size(), maxBytes - bytes.size())));
        bytes.append (chunk.data(), static_cast<std::size_t> (in.gcount()));
    }
    return bytes;
}

std::vector<std::string> readTextFile (const std::string& fileName, bool mustOpen, bool mustHaveLine)
{
    std::vector<std::string> lines;
    // Binary mode and our own CR removal give the same lines on every platform.
    std::ifstream in (std::filesystem::u8path (fileName), std::ios::in | std::ios::binary);

    if (! in && mustOpen)
        throw Exception ("Ziz::readTextFile", __FILE__, __LINE__, "Failed to open " + fileName + " for input.");

    if (in)
    {
        // Every read adds a line, the last one too: a final line break leaves an empty last line.
        std::string line;
        do
        {
            std::getline (in, line);
            if (! line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back (line);
        } while (in.good());
    }

    if (lines.empty() && mustHaveLine)
        throw Exception ("Ziz::readTextFile", __FILE__, __LINE__, "Failed to read " + fileName + ".");

    return lines;
}

std::string formatSize (std::uint64_t bytes)
{
    double v = static_cast<double> (bytes);
    int i = 0;
    while (v >= 768.0 && i < 8)
    {
        v *= 0.0009765625;
        ++i;
    }

    if (i == 0)
        return std::to_string (bytes) + (bytes == 1 ? " byte" : " bytes");

    static const char units[] = " KMGTPEZY";
    return formatFixed (v, 2) + " " + units[i] + "iB";
}

std::string formatFixed (double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    const int needed = std::snprintf (nullptr, 0, "%.*f", decimals, value);
    if (needed <= 0)
        return {};
    std::string out (static_cast<std::size_t> (needed) + 1, '\0');
    std::snprintf (out.data(), out.size(), "%.*f", decimals, value);
    out.resize (static_cast<std::size_t> (needed));
    return out;
}

std::string formatAge (std::int64_t when)
{
    return formatAge (when, static_cast<std::int64_t> (std::time (nullptr)));
}

std::string formatAge (std::int64_t when, std::int64_t now)
{
    const bool future = when > now;
    const std::int64_t d = future ? when - now : now - when;

    std::string text;
    if (d <= 180)
        text = std::to_string (d) + (d == 1 ? " second" : " seconds");
    else if (d <= 7200)
        text = std::to_string (d / 60) + " minutes";
    else if (d <= 172800)
        text = std::to_string (d / 3600) + " hours";
    else if (d <= 1209600)
        text = std::to_string (d / 86400) + " days";
    else if (d <= 5443200)
        text = std::to_string (d / 604800) + " weeks";
    else if (d <= 63113832)
        text = std::to_string (d / 2629743) + " months";
    else
        text = std::to_string (d / 31556926) + " years";

    return future ? "in " + text : text + " ago";
}

namespace
{
bool isSpace (char c) { return std::isspace (static_cast<unsigned char> (c)) != 0; }
} // namespace

void trimInPlace (std::string& text)
{
    while (! text.empty() && isSpace (text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && isSpace (text[start]))
        ++start;
    text.erase (0, start);
}

std::string trim (const std::string& text)
{
    std::string copy (text);
    trimInPlace (copy);
    return copy;
}

std::string simplifyWhitespace (const std::string& text)
{
    std::string out;
    out.reserve (text.size());
    for (char c : text)
    {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
        if (c == ' ' && ! out.empty() && out.back() == ' ')
            continue;
        out.push_back (c);
    }
    trimInPlace (out);
    return out;
}

std::vector<std::string> splitWords (const std::string& text)
{
    std::vector<std::string> words;
    const std::string simple = simplifyWhitespace (text);
    std::size_t start = 0;
    while (start < simple.size())
    {
        std::size_t end = simple.find (' ', start);
        if (end == std::string::npos)
            end = simple.size();
        if (end > start)
            words.push_back (simple.substr (start, end - start));
        start = end + 1;
    }
    return words;
}

std::string toLower (const std::string& text)
{
    std::string out (text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char> (c - 'A' + 'a');
    return out;
}
} // namespace Ziz
