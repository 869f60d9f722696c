#pragma once

// The recorded-style meter output that simulated devices replay instead of reading a serial port.
// Each row is one board's line, "first\taverage\r\n"; the table is read-only and shared by all threads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t simulation_table_rows = 3393;

const std::vector<std::string>& simulation_table();

// The row for a simulation position: the table is replayed in order and wraps from its last row to its first.
const std::string& simulation_row (std::uint64_t position);
