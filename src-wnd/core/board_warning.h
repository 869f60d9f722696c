#pragma once

// The warning that a package holds unusually many boards: a package that keeps growing is the sign that
// package changes from the plant no longer arrive. The decision and the texts, with time passed in as seconds.

#include <cstdint>
#include <string>

// A package of n boards is worth a warning when it holds more than the threshold and more than at the last
// warning. Both comparisons are unsigned 64-bit with the threshold widened with its sign, so a negative
// threshold becomes huge and never lets a warning through.
bool board_count_warrants_warning (std::uint64_t n, std::int32_t threshold, std::uint64_t last_warning_board_count);

// More than seconds_between_warnings seconds have passed since the last warning box was closed.
bool warning_interval_passed (std::int64_t now, std::int64_t last_warning_time, std::int32_t seconds_between_warnings);

// One channel's warning state: what it remembers between refreshes.
struct BoardWarningState
{
    bool warning_showing = false;                // a warning box of this channel is open
    std::uint64_t last_warning_board_count = 0;  // package size at the last warning
    std::int64_t last_warning_time = 0;          // seconds; when the last box was closed

    // One refresh with the current settings and package size: true when a warning is to be shown now, and
    // then the state records it as showing. The settings are taken in the order a refresh reads them, so
    // a disabled warning never looks at the threshold.
    bool check (bool enabled, std::uint64_t n, std::int32_t threshold, std::int32_t seconds_between_warnings,
                std::int64_t now);
    // The box was closed (by its button or otherwise).
    void closed (std::int64_t now);
    // A new package starts: its first overfull state warns at once.
    void reset();
};

// The box text, with "\r\n" line breaks. run_text and pkg_text are the texts the tab shows ("007"), date and
// time the caller's formatting of one instant ("2019-Feb-06", "13:04:05").
std::string warning_message (const std::string& device_name, const std::string& run_text, const std::string& pkg_text,
                             std::uint64_t board_count, const std::string& date_text, const std::string& time_text);

// The box title: "VUR - " and the device name.
std::string warning_title (const std::string& device_name);
