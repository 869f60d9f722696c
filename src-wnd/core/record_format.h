#pragma once

// The ".mc" record files: their names, their folder and their exact bytes. A package file holds one
// package's boards (a statistics line, then the values); the summary file holds the statistics of the run
// and takes the place of package 000 in the run's series of names.

#include "src-wnd/core/board_stats.h"

#include <cstddef>
#include <string>

// A run or package number as shown and used in file names: decimal, preceded by "0" up to three characters
// (12 -> "012", 1234 -> "1234", -5 -> "0-5").
std::string number_text_padded (int number);

// kiln_text + "_" + run_text + pkg_text + ".mc" ("7_012003.mc"; "_.mc" before any number is in force).
std::string package_file_name (const std::string& kiln_text, const std::string& run_text,
                               const std::string& pkg_text);

// kiln_text + "_" + run_text + "000.mc" ("7_012000.mc"; "_000.mc" before any number is in force).
std::string summary_file_name (const std::string& kiln_text, const std::string& run_text);

// The package file name from the numbers themselves: decimal kiln, padded run and package.
std::string record_file_name (int kiln, int run, int pkg);

// The output directory setting with its first "%Y" replaced by the year in four digits; any later "%Y"
// stays as it is.
std::string record_directory (const std::string& output_directory, int year);

// Appends the value in fixed notation with one decimal ("%.1f"), preceded by "0" up to min_width
// characters ("%0*.1f" for min_width 4: 9.5 -> "09.5").
void append_one_decimal (std::string& out, double value, std::size_t min_width = 0);

// The whole package file, CR LF line ends:
//   "0002,0000,0001,...,0000,000,000,3.323402,11.850000,000" (count and 17 bins, at least 4 digits each)
//   "14.2,09.5,." (each value with one decimal, at least 4 characters; "." alone for an empty package)
// The stored deviation and average are written as they are; nothing is recomputed.
std::string package_file_text (const BoardBucket& pkg);

// The whole summary file, one line with CR LF:
//   "2,0,1,...,0,000,000,3.323402,11.850000,0.0,0.0"
std::string summary_file_text (const BoardBucket& run);
