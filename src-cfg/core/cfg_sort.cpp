#include "src-cfg/core/cfg_sort.h"

#include "src-base/core/ZizString.h"

#include <algorithm>

namespace Ziz
{
namespace
{
bool firstWordIs (const std::string& line, const char* word)
{
    const auto words = splitWords (line);
    return ! words.empty() && words.front() == word;
}

// Follows the XML markup line by line, far enough to tell where one element of the properties element ends.
// The framework writes an entry over several lines when its key is long (the value attribute moves to a
// continuation line) or when its value reads as XML (it becomes a child element); a line on its own is then
// only part of an entry. Quoted attribute text, comments, CDATA sections and processing instructions may
// hold any character and are skipped whole.
class MarkupDepth
{
public:
    // Between elements, at the level of the properties element's own children.
    bool atTopLevel() const { return mode == Mode::text && depth == 0; }

    void read (const std::string& line)
    {
        for (std::size_t i = 0; i < line.size(); ++i)
        {
            const char c = line[i];
            switch (mode)
            {
                case Mode::text:
                    if (c == '<')
                        i = enterMarkup (line, i);
                    break;
                case Mode::tag:
                    if (quote != 0)
                    {
                        if (c == quote)
                            quote = 0;
                    }
                    else if (c == '"' || c == '\'')
                        quote = c;
                    else if (c == '>')
                    {
                        if (closingTag)
                            --depth;
                        else if (lastInTag != '/')
                            ++depth;
                        mode = Mode::text;
                    }
                    else if (c != ' ' && c != '\t' && c != '\r')
                        lastInTag = c;
                    break;
                case Mode::skipped:
                    if (line.compare (i, terminator.size(), terminator) == 0)
                    {
                        i += terminator.size() - 1;
                        mode = Mode::text;
                    }
                    break;
            }
        }
        // A line break inside a tag separates attributes like a blank.
        if (mode == Mode::tag && quote == 0)
            lastInTag = ' ';
    }

private:
    enum class Mode
    {
        text,
        tag,
        skipped
    };

    std::size_t enterMarkup (const std::string& line, std::size_t i)
    {
        const auto startsWith = [&] (const char* opening) { return line.compare (i, std::char_traits<char>::length (opening), opening) == 0; };
        for (const auto& [opening, closing] : { std::pair<const char*, const char*> { "<!--", "-->" },
                                                { "<![CDATA[", "]]>" },
                                                { "<?", "?>" },
                                                { "<!", ">" } })
            if (startsWith (opening))
            {
                mode = Mode::skipped;
                terminator = closing;
                return i + std::char_traits<char>::length (opening) - 1;
            }

        mode = Mode::tag;
        closingTag = startsWith ("</");
        quote = 0;
        lastInTag = 0;
        return closingTag ? i + 1 : i;
    }

    Mode mode = Mode::text;
    long depth = 0;
    bool closingTag = false;
    char quote = 0;
    char lastInTag = 0;
    std::string terminator;
};
} // namespace

std::optional<std::vector<std::string>> sortedConfigLines (const std::vector<std::string>& lines)
{
    std::size_t open = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (firstWordIs (lines[i], "<PROPERTIES>"))
        {
            open = i;
            break;
        }
    if (open == lines.size())
        return std::nullopt;

    // The entries, each one or more lines; the closing marker counts only between entries, so that a value
    // that is itself a PROPERTIES element cannot end the range.
    std::vector<std::vector<std::string>> entries;
    MarkupDepth markup;
    std::size_t close = lines.size();
    for (std::size_t i = open + 1; i < lines.size(); ++i)
    {
        const bool startsEntry = markup.atTopLevel();
        if (startsEntry && firstWordIs (lines[i], "</PROPERTIES>"))
        {
            close = i;
            break;
        }
        if (startsEntry)
            entries.emplace_back();
        entries.back().push_back (lines[i]);
        markup.read (lines[i]);
    }
    if (close == lines.size())
        return std::nullopt;

    // Ordered by their lines, lower-cased character by character and compared byte by byte.
    std::vector<std::pair<std::vector<std::string>, const std::vector<std::string>*>> order;
    order.reserve (entries.size());
    for (const auto& entry : entries)
    {
        std::vector<std::string> key;
        for (const auto& line : entry)
            key.push_back (toLower (line));
        order.emplace_back (std::move (key), &entry);
    }
    std::stable_sort (order.begin(), order.end(), [] (const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<std::string> sorted (lines.begin(), lines.begin() + static_cast<std::ptrdiff_t> (open + 1));
    for (const auto& [key, entry] : order)
        sorted.insert (sorted.end(), entry->begin(), entry->end());
    sorted.insert (sorted.end(), lines.begin() + static_cast<std::ptrdiff_t> (close), lines.end());
    return sorted;
}
} // namespace Ziz
