#pragma once

// Whether the maker's download listing offers a newer version than the running one.

#include "vur_version.h"

#include <cstddef>
#include <string>

// No real version comes near this length; a longer one in a listing is taken for garbage, not a version.
inline constexpr std::size_t max_version_length = 64;

// What the first Windows download link of a listing says (the listing is sorted newest first).
struct ListedVersion
{
    // The version of that link; empty when the listing names none or when it is too long to be real.
    std::string version;
    // The length of a version left out for being longer than max_version_length, otherwise 0.
    std::size_t overlong_length = 0;
};

// Finds the first link of the form href="vur-<digits, '-' and '.'>-win in the listing. Works in time
// linear in the listing's size and in constant stack, so that whatever a web server sends cannot
// exhaust the load thread's stack.
ListedVersion find_listed_version (const std::string& listing);

// The version of the first Windows download named in a listing; empty when the listing names none
// (or one too long to be real).
std::string find_most_recent_version (const std::string& listing);

// Compares byte by byte: at the first differing byte the larger byte wins; when one text is the beginning
// of the other, the longer one is newer. So "1.0.0-999" is newer than "1.0.0-2718".
bool is_newer_version (const std::string& candidate, const std::string& current);
