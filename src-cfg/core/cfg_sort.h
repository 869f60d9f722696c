#pragma once

// Keeps the configuration file's entries in case-insensitive order, so that a person can find a key and
// devices are met in a stable order at the next start.

#include <optional>
#include <string>
#include <vector>

namespace Ziz
{
// The lines with the entries between the "<PROPERTIES>" and "</PROPERTIES>" lines sorted ignoring case;
// nothing when either marker line is missing. An entry is a whole element of the properties element, with
// its continuation lines and children: the lines of one entry stay together and in their order.
std::optional<std::vector<std::string>> sortedConfigLines (const std::vector<std::string>& lines);
} // namespace Ziz
