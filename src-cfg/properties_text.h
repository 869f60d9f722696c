#pragma once

// The text of a configuration file, read as the framework's properties file reads it. Shared by the
// monitor's store and the OPC console stand-in, which reads the monitor's file.

#include <optional>
#include <string>
#include <utility>
#include <vector>

using PropertyList = std::vector<std::pair<std::string, std::string>>;

// The entries of the text as juce::PropertiesFile loads them: the outer element <PROPERTIES>, one <VALUE>
// element per entry with its name and its "val" attribute (or, for a value held as XML, its first child
// element on one line); VALUE elements without a name are skipped, keys are found ignoring case, the first
// spelling of a key is kept and a later value replaces an earlier one. In the order the keys first appear.
// Nothing when the text holds no such document, or elements nested deeper than a configuration file has
// (the framework's reader descends one call per level).
std::optional<PropertyList> read_properties_text (const std::string& xmlText);

// The deepest element nesting the reader accepts; a configuration file has three levels at most.
inline constexpr int max_properties_nesting = 64;

// Whether no element of the text (a whole file, or a value that the framework's writer parses as XML at
// every save) lies deeper than max_properties_nesting. Linear in the text, in constant stack.
bool properties_nesting_within_limit (const std::string& xmlText);
