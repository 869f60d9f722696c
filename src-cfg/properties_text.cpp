#include "src-cfg/properties_text.h"

#include "src-base/juce_text.h"

#include <juce_core/juce_core.h>

namespace
{
// Whether no element of the text lies deeper than `limit`, counted without recursion. Comments, character
// data and processing instructions are skipped as the framework's reader skips them, and quotes are followed
// inside tags (an attribute may hold "/>" or "</"), so every end tag counted is one the reader ends an
// element at, or stops at.
bool nesting_within (const std::string& text, int limit)
{
    const auto skip_to = [&text] (std::size_t from, const char* end) {
        const std::size_t found = text.find (end, from);
        return found == std::string::npos ? text.size() : found + std::char_traits<char>::length (end);
    };
    int depth = 0;
    std::size_t i = 0;
    while ((i = text.find ('<', i)) != std::string::npos)
    {
        if (text.compare (i, 4, "<!--") == 0)
            i = skip_to (i + 4, "-->");
        else if (text.compare (i, 9, "<![CDATA[") == 0)
            i = skip_to (i + 9, "]]>");
        else if (text.compare (i, 2, "<?") == 0)
            i = skip_to (i + 2, "?>");
        else if (text.compare (i, 2, "</") == 0)
        {
            depth = depth > 0 ? depth - 1 : 0;
            i = skip_to (i + 2, ">");
        }
        else
        {
            char quote = 0;
            std::size_t end = i + 1;
            for (; end < text.size(); ++end)
            {
                const char c = text[end];
                if (quote != 0)
                    quote = c == quote ? 0 : quote;
                else if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '>')
                    break;
            }
            if (end >= text.size())
                return true; // the tag never closes: the reader stops there
            if (text[end - 1] != '/' && ++depth > limit)
                return false;
            i = end + 1;
        }
    }
    return true;
}
} // namespace

bool properties_nesting_within_limit (const std::string& xmlText) { return nesting_within (xmlText, max_properties_nesting); }

std::optional<PropertyList> read_properties_text (const std::string& xmlText)
{
    if (! properties_nesting_within_limit (xmlText))
        return std::nullopt;

    // As juce::PropertiesFile::loadAsXml does it, which is private to the framework.
    const auto document = juce::parseXMLIfTagMatches (to_juce (xmlText), "PROPERTIES");
    if (document == nullptr)
        return std::nullopt;

    juce::StringPairArray entries (true);
    for (auto* element : document->getChildWithTagNameIterator ("VALUE"))
    {
        const auto name = element->getStringAttribute ("name");
        if (name.isEmpty())
            continue;
        if (const auto* child = element->getFirstChildElement())
            entries.set (name, child->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()));
        else
            entries.set (name, element->getStringAttribute ("val"));
    }

    PropertyList result;
    for (int i = 0; i < entries.size(); ++i)
        result.emplace_back (entries.getAllKeys()[i].toStdString(), entries.getAllValues()[i].toStdString());
    return result;
}
