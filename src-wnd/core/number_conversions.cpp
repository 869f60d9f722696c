#include "src-wnd/core/number_conversions.h"

#include <charconv>
#include <stdexcept>
#include <system_error>

namespace
{
bool is_c_space (char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct DecimalParse
{
    bool converted = false;
    bool negative = false;
    bool overflow = false;       // magnitude beyond limit
    std::uint64_t magnitude = 0;
};

// strtoul/strtol in base 10, with the magnitude checked against `limit` (digits go on being consumed, as the C
// functions do, but nothing after them matters to the callers).
DecimalParse parse_decimal (const std::string& text, std::uint64_t limit)
{
    DecimalParse out;
    std::size_t i = 0;
    while (i < text.size() && is_c_space (text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        out.negative = text[i] == '-';
        ++i;
    }
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        out.converted = true;
        if (out.overflow)
            continue;
        out.magnitude = out.magnitude * 10 + static_cast<std::uint64_t> (text[i] - '0');
        if (out.magnitude > limit)
            out.overflow = true;
    }
    return out;
}
} // namespace

std::uint32_t convert_stoul (const std::string& text)
{
    const DecimalParse p = parse_decimal (text, 0xffffffffu);
    if (! p.converted)
        throw std::invalid_argument ("invalid stoul argument");
    if (p.overflow)
        throw std::out_of_range ("stoul argument out of range");
    const auto value = static_cast<std::uint32_t> (p.magnitude);
    return p.negative ? static_cast<std::uint32_t> (0u - value) : value;
}

std::int32_t convert_stoi (const std::string& text)
{
    const DecimalParse p = parse_decimal (text, 0x80000000u);
    if (! p.converted)
        throw std::invalid_argument ("invalid stoi argument");
    if (p.overflow || (! p.negative && p.magnitude > 0x7fffffffu))
        throw std::out_of_range ("stoi argument out of range");
    const auto magnitude = static_cast<std::int64_t> (p.magnitude);
    return static_cast<std::int32_t> (p.negative ? -magnitude : magnitude);
}

double convert_stod (const std::string& text)
{
    try
    {
        return std::stod (text);
    }
    catch (const std::invalid_argument&)
    {
        throw std::invalid_argument ("invalid stod argument");
    }
    catch (const std::out_of_range&)
    {
        throw std::out_of_range ("stod argument out of range");
    }
}

double convert_stod_long_token (std::string_view token)
{
    // Plain decimals under 25 characters can neither overflow nor underflow, and from_chars rounds them as
    // strtod does; everything else (exponents, hex, inf, nan, a leading "+", trailing text) takes the full
    // conversion.
    if (token.size() <= 24 && ! token.empty())
    {
        std::size_t i = token[0] == '-' ? 1 : 0;
        std::size_t digits = 0;
        bool point = false;
        for (; i < token.size(); ++i)
        {
            if (token[i] >= '0' && token[i] <= '9')
                ++digits;
            else if (token[i] == '.' && ! point)
                point = true;
            else
                break;
        }
        if (i == token.size() && digits > 0)
        {
            double value = 0.0;
            const auto [end, ec] = std::from_chars (token.data(), token.data() + token.size(), value);
            if (ec == std::errc() && end == token.data() + token.size())
                return value;
        }
    }
    return convert_stod (std::string (token));
}
