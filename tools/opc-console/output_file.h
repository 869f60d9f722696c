#pragma once

// The OPC output file that the monitor polls: a sequence number on the first line, then one
// "[group]register=value" line per register.

#include "tools/opc-console/plant_source.h"

#include <cstdint>
#include <optional>
#include <string>

std::string output_file_text (std::uint32_t sequence, const std::string& group, const RegisterValues& values);

// The sequence number on the first line of an existing output file, if it has one.
std::optional<std::uint32_t> existing_sequence (const std::string& path);

// The first sequence number: the seconds of the wall clock, so that a console started later never begins
// where an earlier one stood by accident, and never the number of a file left behind (the monitor would
// take the new values for ones it has seen). Never 0.
std::uint32_t first_sequence (std::uint32_t clock_seconds, std::optional<std::uint32_t> left_behind);

// The number after `sequence`, skipping 0 when it wraps.
std::uint32_t next_sequence (std::uint32_t sequence);
