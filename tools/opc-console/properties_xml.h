#pragma once

// Reads the monitor's configuration file: the framework's XML properties format, one
// <VALUE name="..." val="..."/> element per setting inside <PROPERTIES>.

#include <optional>
#include <string>
#include <utility>
#include <vector>

using PropertyList = std::vector<std::pair<std::string, std::string>>;

// The settings in the order of the file, names and values with their XML escapes decoded; nothing when the
// text holds no <PROPERTIES> element. Elements that are not VALUE elements, and VALUE elements without a
// name, are skipped.
std::optional<PropertyList> read_properties_xml (const std::string& text);
