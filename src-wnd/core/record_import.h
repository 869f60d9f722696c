#pragma once

// Reading record files back: which package files of a run are looked at, in which order, and how the
// values line of a package file becomes board values. Only the values line counts; every statistic is
// rebuilt from the values.

#include "src-wnd/core/board_stats.h"

#include <cstddef>
#include <string>
#include <vector>

// Package numbers 1 to 999 without the current one, then the current one last (999 numbers, or 1000 when
// the current number lies outside 1..999). Ending with the current package leaves its values in the package
// bucket.
std::vector<int> import_package_order (int current_pkg);

// The second line of a file without its line end (LF or CR LF); empty when the file has fewer than two
// lines or cannot be opened.
std::string read_record_values_line (const std::string& path);

// The same, false when the file cannot be opened or read (line is then empty): a file that is there but
// unreadable is not an empty one.
bool read_record_values_line (const std::string& path, std::string& line);

// The same line of a file's text.
std::string record_values_line_of (const std::string& text);

// The board values of a values line ("14.2,09.5,."), in order: "," counts as white space, "." tokens are
// skipped, each other token is read as std::stod reads it (see convert_stod), and values of 0 or less are
// dropped. A token that is not a number throws std::invalid_argument ("invalid stod argument"), one out of
// range std::out_of_range ("stod argument out of range").
std::vector<double> parse_record_values (const std::string& line);

// The same values added to both buckets, all of them or, when a token fails, none: a file is taken whole or
// not at all. The averages are not recomputed. Returns the number of values added.
std::size_t import_record_values (const std::string& line, BoardBucket& run, BoardBucket& pkg);

// Every value with one decimal, each followed by ", " ("14.0, 15.0, 13.0, ").
std::string board_values_text (const std::vector<double>& values);
