#pragma once

// The message of the day as the operator reads it and the log keeps it.

#include <cstddef>
#include <string>

// A message longer than this (an error page from a proxy, a file served by mistake) would make a box taller
// than the screen, with its button out of reach, and a log entry of its own size.
inline constexpr std::size_t max_motd_bytes = 2000;
inline constexpr std::size_t max_motd_lines = 30;

// The server's text without surrounding white space, cut after max_motd_lines lines or max_motd_bytes bytes,
// never inside a UTF-8 character; a cut text ends with a line "[...]".
std::string motd_text (const std::string& reply);
