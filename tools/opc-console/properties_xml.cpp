#include "tools/opc-console/properties_xml.h"

#include <cstdint>
#include <cstdlib>

namespace
{
bool is_space (char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void append_utf8 (std::string& out, std::uint32_t code)
{
    if (code < 0x80)
        out += static_cast<char> (code);
    else if (code < 0x800)
    {
        out += static_cast<char> (0xc0 | (code >> 6));
        out += static_cast<char> (0x80 | (code & 0x3f));
    }
    else if (code < 0x10000)
    {
        out += static_cast<char> (0xe0 | (code >> 12));
        out += static_cast<char> (0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char> (0x80 | (code & 0x3f));
    }
    else
    {
        out += static_cast<char> (0xf0 | (code >> 18));
        out += static_cast<char> (0x80 | ((code >> 12) & 0x3f));
        out += static_cast<char> (0x80 | ((code >> 6) & 0x3f));
        out += static_cast<char> (0x80 | (code & 0x3f));
    }
}

// Attribute text as written by the framework: the five named entities and numeric character references
// (it writes control characters, line breaks and non-ASCII characters that way). Anything else is kept.
std::string decode_entities (const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const std::size_t end = text[i] == '&' ? text.find (';', i) : std::string::npos;
        if (end == std::string::npos)
        {
            out += text[i];
            continue;
        }
        const std::string name = text.substr (i + 1, end - i - 1);
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#')
        {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr (hex ? 2 : 1);
            char* stop = nullptr;
            const unsigned long code = std::strtoul (digits.c_str(), &stop, hex ? 16 : 10);
            if (digits.empty() || *stop != '\0' || code > 0x10ffff)
            {
                out += text[i];
                continue;
            }
            append_utf8 (out, static_cast<std::uint32_t> (code));
        }
        else
        {
            out += text[i];
            continue;
        }
        i = end;
    }
    return out;
}

// Attributes of the tag that starts at `pos` (just after its name) up to its closing ">", which `pos` is
// left after. Quotes may be single or double; a malformed tag ends the reading of the file.
std::optional<PropertyList> read_attributes (const std::string& text, std::size_t& pos)
{
    PropertyList attributes;
    for (;;)
    {
        while (pos < text.size() && is_space (text[pos]))
            ++pos;
        if (pos >= text.size())
            return std::nullopt;
        if (text[pos] == '>' || text.compare (pos, 2, "/>") == 0)
        {
            pos = text.find ('>', pos) + 1;
            return attributes;
        }
        const std::size_t name_start = pos;
        while (pos < text.size() && text[pos] != '=' && ! is_space (text[pos]) && text[pos] != '>')
            ++pos;
        const std::string name = text.substr (name_start, pos - name_start);
        while (pos < text.size() && is_space (text[pos]))
            ++pos;
        if (pos >= text.size() || text[pos] != '=')
            return std::nullopt;
        ++pos;
        while (pos < text.size() && is_space (text[pos]))
            ++pos;
        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\''))
            return std::nullopt;
        const char quote = text[pos++];
        const std::size_t value_end = text.find (quote, pos);
        if (value_end == std::string::npos)
            return std::nullopt;
        attributes.emplace_back (name, decode_entities (text.substr (pos, value_end - pos)));
        pos = value_end + 1;
    }
}

bool tag_at (const std::string& text, std::size_t pos, const char* tag)
{
    const std::string name (tag);
    if (text.compare (pos, name.size(), name) != 0)
        return false;
    const std::size_t after = pos + name.size();
    return after < text.size() && (is_space (text[after]) || text[after] == '>' || text[after] == '/');
}
} // namespace

std::optional<PropertyList> read_properties_xml (const std::string& text)
{
    std::size_t pos = 0;
    for (;; ++pos)
    {
        pos = text.find ('<', pos);
        if (pos == std::string::npos)
            return std::nullopt;
        if (tag_at (text, pos + 1, "PROPERTIES"))
            break;
    }
    pos += 1 + std::string ("PROPERTIES").size();
    if (! read_attributes (text, pos))
        return std::nullopt;
    if (text[pos - 2] == '/')
        return PropertyList {};   // <PROPERTIES/>: no settings at all

    PropertyList properties;
    while ((pos = text.find ('<', pos)) != std::string::npos)
    {
        if (text.compare (pos, 4, "<!--") == 0)
        {
            const std::size_t end = text.find ("-->", pos);
            if (end == std::string::npos)
                break;
            pos = end + 3;
            continue;
        }
        if (text.compare (pos, 13, "</PROPERTIES>") == 0)
            break;
        if (! tag_at (text, pos + 1, "VALUE"))
        {
            ++pos;
            continue;
        }
        pos += 1 + std::string ("VALUE").size();
        const auto attributes = read_attributes (text, pos);
        if (! attributes)
            break;
        const std::string* name = nullptr;
        std::string value;
        for (const auto& [attribute, attribute_value] : *attributes)
        {
            if (attribute == "name")
                name = &attribute_value;
            else if (attribute == "val")
                value = attribute_value;
        }
        if (name != nullptr)
            properties.emplace_back (*name, value);
    }
    return properties;
}
