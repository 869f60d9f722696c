#pragma once

// The search for meter readings in the text received from a meter, and the texts of the two events the
// reading loop logs about that text (an invalid average, a purge).

#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

struct MeterReading
{
    double first = 0.0;      // capture group 1, 0 when the pattern has no group 1 or it is empty
    double average = 0.0;    // capture group 2, likewise
    double value = 0.0;      // the board's value: average, or first when average is below 1.0
    bool invalid_average = false;
    // The pending text as it was when this reading was found (what the invalid-average line shows);
    // filled only when invalid_average is set.
    std::string pending_at_match;

    // Only positive values count as boards; the rest are dropped without a message.
    bool is_board() const { return value > 0.0; }
};

// Finds the first match of pattern in pending_text and converts it; pending_text then holds only the text
// after the match. Returns false, leaving pending_text alone, when nothing matches.
// Each group's text is converted with std::stod; empty text (a group that matched nothing or took no part in
// the match) gives 0. std::invalid_argument or std::out_of_range from the conversion leave the function with
// pending_text unchanged.
bool take_reading (std::string& pending_text, const std::regex& pattern, MeterReading& reading);

// Takes every complete reading in pending_text, in order of arrival, at most max_readings of them, so that a
// meter sending faster than the reading loop's interval loses nothing. A match of empty length ends the
// search after it is taken (it would otherwise match again at the same place).
// When a conversion fails after some readings were taken, those are returned and the failing match stays at
// the front of pending_text, so the next call raises the error; a failure on the first match is raised at once.
std::vector<MeterReading> take_readings (std::string& pending_text, const std::regex& pattern,
                                         std::size_t max_readings = SIZE_MAX);

// device + ": invalid average value from sensor: str=" + the reading's pending text trimmed at both ends.
std::string invalid_average_line (const std::string& device, const MeterReading& reading);

// Bytes 33 to 126 stand for themselves; every other byte is written as "<", its value as a signed 8-bit
// decimal number, and ">" (so a tab is "<9>" and 0xFF is "<-1>").
std::string printable_purge_copy (const std::string& text);

// Whether text that has gathered without a reading must be thrown away: longer than 10 read buffers.
// A read length below 1 counts as 1, the smallest buffer a read can use.
bool needs_purge (std::size_t pending_length, int read_len);

// device + ": purging long/invalid string: len=" + length + ": \"" + printable copy + "\"".
std::string purge_line (const std::string& device, const std::string& pending_text);
