#pragma once

// The wall clock as the system keeps its times (board, kiln, run and package changes, warnings): whole
// seconds since 1970.

#include <cstdint>
#include <ctime>

inline std::int64_t now_seconds() { return static_cast<std::int64_t> (std::time (nullptr)); }
