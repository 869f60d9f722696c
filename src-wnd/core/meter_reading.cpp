#include "src-wnd/core/meter_reading.h"

#include "src-base/core/ZizString.h"
#include "src-base/core/bounded_regex.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace
{
using Iterator = std::string::const_iterator;

bool find_reading (const std::string& text, std::size_t from, const std::regex& pattern, std::smatch& match)
{
    return Ziz::boundedRegexSearch (text, from, pattern, match, max_reading_length);
}

// Empty text (a group that took no part in the match, or matched nothing) reads as 0: a meter that leaves
// out its average is an invalid average, not a broken line. Text that is not one number throughout ("....",
// "1..2") throws std::invalid_argument, a number beyond a double's range std::out_of_range.
double convert_group (const std::match_results<Iterator>& match, std::size_t index)
{
    if (match.size() <= index)
        return 0.0;
    const std::string text = match.str (index);
    if (text.empty())
        return 0.0;
    std::size_t used = 0;
    const double value = std::stod (text, &used);
    if (text.find_first_not_of (" \t\r\n\v\f", used) != std::string::npos)
        throw std::invalid_argument ("not a number: " + text);
    return value;
}

MeterReading convert_reading (const std::string& pending_text, const std::match_results<Iterator>& match)
{
    MeterReading found;
    try
    {
        found.first = convert_group (match, 1);
        found.average = convert_group (match, 2);
    }
    catch (const std::logic_error&)
    {
        // std::invalid_argument or std::out_of_range: the meter sent something that is no number.
        found = MeterReading {};
        found.unreadable = true;
        found.reading_text = match.str (0);
        return found;
    }
    found.value = found.average;
    if (found.average < 1.0)
    {
        found.invalid_average = true;
        found.pending_at_match = pending_text;
        found.value = found.first;
    }
    return found;
}

// Takes readings from pending_text, searching from offset `from`; leaves in `from` the offset before which
// no reading can start, however the text goes on.
std::vector<MeterReading> take_from (std::string& pending_text, std::size_t& from, const std::regex& pattern, std::size_t max_readings)
{
    std::vector<MeterReading> readings;
    while (readings.size() < max_readings && ! pending_text.empty())
    {
        std::match_results<Iterator> match;
        if (! find_reading (pending_text, from, pattern, match))
        {
            // A reading not found yet can only begin where the last max_reading_length bytes begin.
            from = std::max (from, pending_text.size() > max_reading_length ? pending_text.size() - max_reading_length : 0);
            break;
        }
        MeterReading reading = convert_reading (pending_text, match);
        const auto consumed = static_cast<std::size_t> (match[0].second - pending_text.cbegin());
        pending_text.erase (0, consumed);
        from = 0;
        readings.push_back (std::move (reading));
        if (consumed == 0)
            break;
    }
    return readings;
}
} // namespace

bool take_reading (std::string& pending_text, const std::regex& pattern, MeterReading& reading)
{
    std::size_t from = 0;
    auto readings = take_from (pending_text, from, pattern, 1);
    if (readings.empty())
        return false;
    reading = std::move (readings.front());
    return true;
}

std::vector<MeterReading> take_readings (std::string& pending_text, const std::regex& pattern, std::size_t max_readings)
{
    std::size_t from = 0;
    return take_from (pending_text, from, pattern, max_readings);
}

std::vector<MeterReading> PendingMeterText::take_readings (const std::regex& pattern)
{
    return take_from (pending, searched, pattern, SIZE_MAX);
}

void PendingMeterText::clear()
{
    pending.clear();
    searched = 0;
}

std::string invalid_average_line (const std::string& device, const MeterReading& reading)
{
    return device + ": invalid average value from sensor: str=" + Ziz::trim (reading.pending_at_match);
}

std::string unreadable_reading_line (const std::string& device, const MeterReading& reading)
{
    return device + ": unreadable value from sensor: str=" + Ziz::trim (reading.reading_text);
}

std::string printable_purge_copy (const std::string& text)
{
    std::string copy;
    copy.reserve (text.size());
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char> (c);
        if (byte >= 33 && byte <= 126)
            copy.push_back (c);
        else
            copy += "<" + std::to_string (static_cast<int> (static_cast<signed char> (c))) + ">";
    }
    return copy;
}

bool needs_purge (std::size_t pending_length, int read_len)
{
    const auto buffer = static_cast<std::uint64_t> (read_len < 1 ? 1 : read_len);
    return static_cast<std::uint64_t> (pending_length) > 10 * buffer;
}

std::string purge_line (const std::string& device, const std::string& pending_text)
{
    return device + ": purging long/invalid string: len=" + std::to_string (pending_text.size()) + ": \""
           + printable_purge_copy (pending_text) + "\"";
}
