#pragma once

// The standard string-to-number conversions as the workstation's C++ library performs them, on every
// platform: `long` is 32 bits there, and the errors carry the texts "invalid stoul argument", "stoul argument
// out of range" (and the same for stoi and stod). Other libraries convert with 64-bit longs and throw other
// texts, so the file readers use these instead of std::stoul / std::stoi / std::stod.

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

// The same conversion for one token that holds no white space (the common case of record files is taken
// without building a string).
double convert_stod_token (std::string_view token);
