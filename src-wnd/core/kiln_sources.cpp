#include "src-wnd/core/kiln_sources.h"

#include "src-base/core/bounded_regex.h"

#include "src-wnd/core/number_conversions.h"

namespace
{
bool ends_with (const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare (text.size() - tail.size(), tail.size(), tail) == 0;
}

ConversionFailure failure_of (std::size_t index, const std::string& line)
{
    ConversionFailure failure;
    failure.line = index + 1;
    failure.line_text = line;
    failure.error = std::current_exception();
    try
    {
        throw;
    }
    catch (const std::exception& e)
    {
        failure.text = e.what();
    }
    return failure;
}

std::string key_of (const std::optional<ConversionFailure>& failure)
{
    if (! failure)
        return {};
    return std::to_string (failure->line) + '\n' + failure->line_text + '\n' + failure->text;
}
} // namespace

void ReportedNumbers::apply_to (std::int32_t& pending_kiln, std::int32_t& pending_run,
                                std::int32_t& pending_pkg) const
{
    if (kiln)
        pending_kiln = *kiln;
    if (run)
        pending_run = *run;
    if (pkg)
        pending_pkg = *pkg;
}

std::string OpcOutputReading::report_key() const
{
    // A new sequence line makes a new file, even when the same line fails in the same way.
    return std::to_string (sequence_read ? sequence : 0) + '\n' + key_of (failure);
}

OpcOutputReading read_opc_output (const std::vector<std::string>& lines, std::uint64_t last_sequence,
                                  const std::string& kiln_register, const std::string& run_register,
                                  const std::string& pkg_register)
{
    OpcOutputReading reading;
    if (lines.empty())
        return reading;

    std::size_t index = 0;
    try
    {
        reading.sequence = convert_stoul (lines[0]);
        reading.sequence_read = true;
        if (reading.sequence == last_sequence)
        {
            reading.status = OpcOutputReading::Status::unchanged;
            return reading;
        }

        for (index = 1; index < lines.size(); ++index)
        {
            const std::string& line = lines[index];
            const auto equals = line.find ('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = line.substr (0, equals + 1);
            const std::int32_t value = convert_stoi (line.substr (equals + 1));
            if (value <= 0)
                continue;
            if (ends_with (key, kiln_register))
                reading.numbers.kiln = value;
            if (ends_with (key, run_register))
                reading.numbers.run = value;
            if (ends_with (key, pkg_register))
                reading.numbers.pkg = value;
        }
        reading.status = OpcOutputReading::Status::complete;
    }
    catch (const std::exception&)
    {
        reading.status = OpcOutputReading::Status::malformed;
        reading.failure = failure_of (index, lines[index]);
    }
    return reading;
}

std::string CsvReading::report_key() const
{
    return key_of (failure);
}

CsvReading read_csv_lines (const std::vector<std::string>& lines, const std::regex& csv_regex)
{
    CsvReading reading;
    std::smatch match;
    for (std::size_t index = 0; index < lines.size(); ++index)
    {
        const std::string& line = lines[index];
        // A key and its number take a few dozen bytes; a line of any length is searched in bounded windows.
        if (! Ziz::boundedRegexSearch (line, 0, csv_regex, match, max_csv_match_length))
            continue;
        CsvMatch found;
        if (match.size() > 1 && match[1].matched)
            found.key = match[1].str();
        if (match.size() > 2 && match[2].matched)
            found.value_text = match[2].str();
        try
        {
            found.value = convert_stoi (found.value_text);
        }
        catch (const std::exception&)
        {
            reading.failure = failure_of (index, line);
            break;
        }
        if (found.key == "Kiln")
            reading.numbers.kiln = found.value;
        else if (found.key == "Run")
            reading.numbers.run = found.value;
        else if (found.key == "Pkg")
            reading.numbers.pkg = found.value;
        reading.matches.push_back (std::move (found));
    }
    return reading;
}

bool ReportOnce::first_report (const std::string& key)
{
    if (last_key && *last_key == key)
        return false;
    last_key = key;
    return true;
}

void ReportOnce::clear()
{
    last_key.reset();
}

bool numbers_differ (std::int32_t current_kiln, std::int32_t current_run, std::int32_t current_pkg,
                     std::int32_t pending_kiln, std::int32_t pending_run, std::int32_t pending_pkg)
{
    return current_kiln != pending_kiln || current_run != pending_run || current_pkg != pending_pkg;
}

bool numbers_unset (std::int32_t kiln, std::int32_t run, std::int32_t pkg)
{
    return kiln == 0 && run == 0 && pkg == 0;
}
