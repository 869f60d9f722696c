#include "src-wnd/core/meter_reading.h"

#include "src-base/core/ZizString.h"

#include <utility>

namespace
{
// std::stod, except that empty text (a group that took no part in the match, or matched nothing) reads as 0:
// a meter that leaves out its average is an invalid average, not a broken line.
double convert_group (const std::smatch& match, std::size_t index)
{
    if (match.size() <= index)
        return 0.0;
    const std::string text = match.str (index);
    if (text.empty())
        return 0.0;
    return std::stod (text);
}
} // namespace

bool take_reading (std::string& pending_text, const std::regex& pattern, MeterReading& reading)
{
    std::smatch match;
    if (! std::regex_search (pending_text, match, pattern))
        return false;

    MeterReading found;
    found.first = convert_group (match, 1);
    found.average = convert_group (match, 2);
    found.value = found.average;
    if (found.average < 1.0)
    {
        found.invalid_average = true;
        found.pending_at_match = pending_text;
        found.value = found.first;
    }

    const auto consumed = static_cast<std::size_t> (match.position (0) + match.length (0));
    pending_text.erase (0, consumed);
    reading = std::move (found);
    return true;
}

std::vector<MeterReading> take_readings (std::string& pending_text, const std::regex& pattern,
                                         std::size_t max_readings)
{
    std::vector<MeterReading> readings;
    while (readings.size() < max_readings && ! pending_text.empty())
    {
        const std::size_t before = pending_text.size();
        MeterReading reading;
        try
        {
            if (! take_reading (pending_text, pattern, reading))
                break;
        }
        catch (...)
        {
            // Hand over what was read before the broken reading; it raises again on the next call.
            if (readings.empty())
                throw;
            break;
        }
        readings.push_back (std::move (reading));
        if (pending_text.size() == before)
            break;
    }
    return readings;
}

std::string invalid_average_line (const std::string& device, const MeterReading& reading)
{
    return device + ": invalid average value from sensor: str=" + Ziz::trim (reading.pending_at_match);
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
