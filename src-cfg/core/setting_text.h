#pragma once

// How the texts of the configuration file read as booleans and integers.

#include <cstdint>
#include <optional>
#include <string>

namespace Ziz
{
// "true", "yes", "t", "y", "1" / "false", "no", "f", "n", "0", compared ignoring case and as a whole;
// nothing for any other text.
std::optional<bool> readBoolSetting (const std::string& text);

// The C library's atoi: leading white space, an optional sign, the digits that follow; 0 without digits.
// Out-of-range texts saturate at the 32-bit limits instead of overflowing.
std::int32_t readIntSetting (const std::string& text);
} // namespace Ziz
