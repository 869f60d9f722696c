#pragma once

#include <string>

// Puts the configuration file's entries into case-insensitive order; rewrites the file only when that
// changes it, through a temporary file that replaces it in one step. Failures are silent.
void sort_cfg_file (const std::string& fileName);
