#pragma once

// Whether the maker's download listing offers a newer version than the running one.

#include <string>

// The version of this build, as the application reports it and the download files are named.
inline constexpr const char* application_version = "1.0.0-2718";

// The version of the first Windows download named in a listing (the listing is sorted newest first);
// empty when the listing names none.
std::string find_most_recent_version (const std::string& listing);

// Compares byte by byte: at the first differing byte the larger byte wins; when one text is the beginning
// of the other, the longer one is newer. So "1.0.0-999" is newer than "1.0.0-2718".
bool is_newer_version (const std::string& candidate, const std::string& current);
