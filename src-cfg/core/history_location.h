#pragma once

// Where the board history lives when its setting is not given: beside the yearly record folders.

#include <string>

// "boards.sqlite" in the folder above the first %Y of the output directory (C:\22m2k\data\%Y\boardmc\ gives
// C:\22m2k\data\boards.sqlite), with the separator the directory text uses. Without a %Y, in the output
// directory itself; a %Y in the first path element leaves no folder above it, and gives "boards.sqlite" in
// the text before that element (the bare name for a relative %Y/...).
std::string default_board_history_file (const std::string& output_directory);
