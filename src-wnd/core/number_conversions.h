#pragma once

// The standard string-to-number conversions as the workstation's C++ library performs them, on every
// platform: `long` is 32 bits there, and the errors carry the texts "invalid stoul argument", "stoul argument
// out of range" (and the same for stoi and stod). Other libraries convert with 64-bit longs and throw other
// texts, so the file readers use these instead of std::stoul / std::stoi / std::stod.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// std::stoul (base 10) with a 32-bit unsigned long: leading white space skipped, an optional sign, decimal
// digits, anything after them ignored. A minus sign wraps the value as strtoul does ("-1" gives 4294967295).
// Throws std::invalid_argument when no digit follows, std::out_of_range beyond 4294967295.
std::uint32_t convert_stoul (const std::string& text);

// std::stoi (base 10): as above, signed, range -2147483648 to 2147483647.
std::int32_t convert_stoi (const std::string& text);

// std::stod: leading white space skipped, anything after the number ignored. Throws std::invalid_argument
// when the text does not start with a number, std::out_of_range when the value does not fit a double.
double convert_stod (const std::string& text);

// The same conversion for one token that holds no white space. Record files hold short plain decimals
// ("14.2"), which are read here without building a string: up to 15 digits they form an exact integer m,
// and 10^f (f digits after the point) is exact too, so m / 10^f, one correctly rounded division, is
// exactly the double strtod returns. Every other token goes to convert_stod_long_token.
double convert_stod_long_token (std::string_view token);

inline double convert_stod_token (std::string_view token)
{
    static constexpr double powers_of_ten[] = { 1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15 };
    const bool negative = ! token.empty() && token[0] == '-';
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction_digits = 0;
    bool point = false;
    for (std::size_t i = negative ? 1 : 0; i < token.size(); ++i)
    {
        const char c = token[i];
        if (c >= '0' && c <= '9')
        {
            if (++digits > 15)
                return convert_stod_long_token (token);
            mantissa = mantissa * 10 + static_cast<std::uint64_t> (c - '0');
            fraction_digits += point ? 1 : 0;
        }
        else if (c == '.' && ! point)
            point = true;
        else
            return convert_stod_long_token (token);
    }
    if (digits == 0)
        return convert_stod_long_token (token);
    const double magnitude = static_cast<double> (mantissa) / powers_of_ten[fraction_digits];
    return negative ? -magnitude : magnitude;
}
