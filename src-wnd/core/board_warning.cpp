#include "src-wnd/core/board_warning.h"

bool board_count_warrants_warning (std::uint64_t n, std::int32_t threshold, std::uint64_t last_warning_board_count)
{
    const auto limit = static_cast<std::uint64_t> (static_cast<std::int64_t> (threshold));
    return n > limit && n > last_warning_board_count;
}

bool warning_interval_passed (std::int64_t now, std::int64_t last_warning_time, std::int32_t seconds_between_warnings)
{
    return now - last_warning_time > static_cast<std::int64_t> (seconds_between_warnings);
}

bool BoardWarningState::check (bool enabled, std::uint64_t n, std::int32_t threshold,
                               std::int32_t seconds_between_warnings, std::int64_t now)
{
    if (warning_showing || ! enabled)
        return false;
    if (! board_count_warrants_warning (n, threshold, last_warning_board_count))
        return false;
    if (! warning_interval_passed (now, last_warning_time, seconds_between_warnings))
        return false;
    warning_showing = true;
    last_warning_board_count = n;
    return true;
}

void BoardWarningState::closed (std::int64_t now)
{
    warning_showing = false;
    last_warning_time = now;
}

void BoardWarningState::reset()
{
    last_warning_board_count = 0;
    last_warning_time = 0;
}

std::string warning_message (const std::string& device_name, const std::string& run_text, const std::string& pkg_text,
                             std::uint64_t board_count, const std::string& date_text, const std::string& time_text)
{
    return "The number of boards for " + device_name + " is unusually high.\r\n\r\n"
           "- Run: #" + run_text + "\r\n"
           "- Pkg: #" + pkg_text + "\r\n"
           "- Boards: " + std::to_string (board_count) + "\r\n"
           "- Date: " + date_text + "\r\n"
           "- Time: " + time_text + "\r\n\r\n"
           "Please verify that the VUR OPC Console is still running and communication with RSLinx has not been lost.";
}

std::string warning_title (const std::string& device_name)
{
    return "VUR - " + device_name;
}
