#include "src-wnd/core/record_format.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace
{
#if defined(__MINGW32__) && ! defined(__clang__)
#define RECORD_PRINTF_FORMAT __attribute__ ((format (gnu_printf, 2, 3)))
#elif defined(__GNUC__)
#define RECORD_PRINTF_FORMAT __attribute__ ((format (printf, 2, 3)))
#else
#define RECORD_PRINTF_FORMAT
#endif

// printf into a string; every format here is short, a longer result takes the slow path.
void append_format (std::string& out, const char* format, ...) RECORD_PRINTF_FORMAT;

void append_format (std::string& out, const char* format, ...)
{
    char buffer[64];
    std::va_list args;
    va_start (args, format);
    std::va_list again;
    va_copy (again, args);
    const int n = std::vsnprintf (buffer, sizeof buffer, format, args);
    va_end (args);
    if (n >= 0 && static_cast<std::size_t> (n) < sizeof buffer)
        out.append (buffer, static_cast<std::size_t> (n));
    else if (n >= 0)
    {
        std::string big (static_cast<std::size_t> (n) + 1, '\0');
        std::vsnprintf (big.data(), big.size(), format, again);
        out.append (big.data(), static_cast<std::size_t> (n));
    }
    va_end (again);
}

// The statistics that both files share after their counts: "000,000,", deviation, ",", average.
void append_deviation_and_average (std::string& out, const BoardBucket& bucket)
{
    out += "000,000,";
    append_format (out, "%.6f", bucket.stddev);
    out += ',';
    append_format (out, "%.6f", bucket.average);
}
} // namespace

void append_one_decimal (std::string& out, double value, std::size_t min_width)
{
    // Rounds as printf does, many times faster, which counts for the log lines that list every board of a
    // run. Non-finite values keep printf's own spelling and space padding.
    if (! std::isfinite (value))
    {
        append_format (out, "%0*.1f", static_cast<int> (min_width), value);
        return;
    }

    char buffer[330];  // the largest double in fixed notation
    char* const end = buffer + sizeof buffer;
    const bool negative = std::signbit (value);
    const double magnitude = std::fabs (value);
    char* digits_end = nullptr;

    // Usual values: tenths = magnitude * 10 is off the exact product by at most one rounding, far less than
    // the margin kept from a half, so rounding it gives the digits printf gives. Near a half, and for large
    // values, to_chars decides from the exact binary value.
    const double tenths = magnitude * 10.0;
    const double whole_tenths = std::floor (tenths);
    const double fraction = tenths - whole_tenths;  // exact below 2^52
    if (magnitude < 1e14 && std::fabs (fraction - 0.5) > tenths * 1e-15 + 1e-300)
    {
        const auto n = static_cast<std::uint64_t> (whole_tenths) + (fraction > 0.5 ? 1u : 0u);
        char* p = std::to_chars (buffer, end, n / 10).ptr;
        *p++ = '.';
        *p++ = static_cast<char> ('0' + n % 10);
        digits_end = p;
    }
    else
        digits_end = std::to_chars (buffer, end, magnitude, std::chars_format::fixed, 1).ptr;

    const auto length = static_cast<std::size_t> (digits_end - buffer) + (negative ? 1 : 0);
    if (negative)
        out += '-';
    if (length < min_width)
        out.append (min_width - length, '0');  // printf's zeros go between the sign and the digits
    out.append (buffer, digits_end);
}

std::string number_text_padded (int number)
{
    // Zeros go in front of the whole text, sign included: -5 becomes "0-5".
    std::string text = std::to_string (number);
    if (text.size() < 3)
        text.insert (0, 3 - text.size(), '0');
    return text;
}

std::string package_file_name (const std::string& kiln_text, const std::string& run_text,
                               const std::string& pkg_text)
{
    return kiln_text + "_" + run_text + pkg_text + ".mc";
}

std::string summary_file_name (const std::string& kiln_text, const std::string& run_text)
{
    return kiln_text + "_" + run_text + "000.mc";
}

std::string record_file_name (int kiln, int run, int pkg)
{
    return package_file_name (std::to_string (kiln), number_text_padded (run), number_text_padded (pkg));
}

std::string record_directory (const std::string& output_directory, int year)
{
    std::string dir = output_directory;
    const auto at = dir.find ("%Y");
    if (at != std::string::npos)
    {
        std::string year_text;
        append_format (year_text, "%04d", year);
        dir.replace (at, 2, year_text);
    }
    return dir;
}

std::string package_file_text (const BoardBucket& pkg)
{
    std::string out;
    out.reserve (160 + pkg.values.size() * 6);
    append_format (out, "%04llu,", static_cast<unsigned long long> (pkg.values.size()));
    for (const auto count : pkg.histogram)
        append_format (out, "%04llu,", static_cast<unsigned long long> (count));
    append_deviation_and_average (out, pkg);
    out += ",000\r\n";

    for (const double v : pkg.values)
    {
        append_one_decimal (out, v, 4);
        out += ',';
    }
    out += ".\r\n";
    return out;
}

std::string summary_file_text (const BoardBucket& run)
{
    std::string out;
    append_format (out, "%llu,", static_cast<unsigned long long> (run.values.size()));
    for (const auto count : run.histogram)
        append_format (out, "%llu,", static_cast<unsigned long long> (count));
    append_deviation_and_average (out, run);
    out += ",0.0,0.0\r\n";
    return out;
}
