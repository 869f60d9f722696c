#pragma once

#include <string>

// Puts the configuration file's entries into case-insensitive order; rewrites the file only when that
// changes it and the sorted file loads as the same entries, through a file that is on disk before it
// replaces the old one in one step. Failures are silent.
void sort_cfg_file (const std::string& fileName);
