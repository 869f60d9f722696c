#pragma once

// vur-report: what it prints, as a function of its arguments, so that tests run it without a process.

#include "src-wnd/core/quality_figures.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// One row of a report: a run, or a package of a run.
struct ReportRow
{
    std::int32_t kiln = 0;
    std::int32_t run = 0;
    std::optional<std::int32_t> package; // empty in a per-run report
    std::int64_t first_ms = 0;
    std::int64_t last_ms = 0;
    QualitySummary figures;
    std::optional<double> baseline;      // per run: the median deviation of the kiln's 20 runs before it
    std::vector<double> values;          // in the order they were counted
};

// Runs the report with the program's arguments (without the program name); the table goes to out, the one
// error line to err. Returns the exit status.
int run_report (const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The histogram (8% to 24%, as the monitor bins them) and the trend of the rows' boards as a PNG file;
// false when it cannot be written.
bool write_report_png (const std::vector<ReportRow>& rows, const MoistureLimits& limits, const std::string& path);
