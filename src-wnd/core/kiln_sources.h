#pragma once

// The two sources of kiln, run and package numbers, read from their lines (the file already split, line
// ends removed): the OPC output file (a sequence number, then "key=value" lines) and the CSV file (lines
// searched with a configured pattern). The readers decide nothing about the channel; they say what the file
// holds, and the caller takes the numbers, applies a change and logs.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <regex>
#include <string>
#include <vector>

// Numbers a source reported; the ones it did not report are left unset.
struct ReportedNumbers
{
    std::optional<std::int32_t> kiln;
    std::optional<std::int32_t> run;
    std::optional<std::int32_t> pkg;

    bool empty() const { return ! kiln && ! run && ! pkg; }
    // Copies the reported numbers over the pending ones, leaving the others as they are.
    void apply_to (std::int32_t& pending_kiln, std::int32_t& pending_run, std::int32_t& pending_pkg) const;
};

// A line whose number could not be converted.
struct ConversionFailure
{
    std::size_t line = 0;        // 1-based
    std::string line_text;
    std::string text;            // the conversion error's what(): "invalid stoi argument", ...
    std::exception_ptr error;    // the error itself, to rethrow into a report
};

struct OpcOutputReading
{
    enum class Status
    {
        missing,      // no lines: the file is missing or cannot be opened
        unchanged,    // the sequence number equals the last one taken; nothing else was read
        complete,     // a new sequence number and every line converted
        malformed     // a conversion failed (line 1, or a value), see failure
    };

    Status status = Status::missing;
    bool sequence_read = false;
    std::uint64_t sequence = 0;   // valid when sequence_read
    // complete: every number the file sets, later lines overriding earlier ones. malformed: what the lines
    // before the failure set; not meant to be applied, since the file is read again at the next poll and
    // part of a file could name a kiln/run/package combination that never existed.
    ReportedNumbers numbers;
    std::optional<ConversionFailure> failure;

    // Identifies this malformed state of the file (sequence line, failing line, error), for ReportOnce.
    std::string report_key() const;
};

// Reads the OPC output file's lines against the last sequence number taken. Line 1 is the sequence number
// (convert_stoul); later lines are "key=value", key being the text before the first "=". A line sets a
// number when key + "=" ends with that number's register (the register names as the channel holds them,
// "=" included: "N75:3="); the three tests are independent. Values (convert_stoi) of 0 or less and lines
// without "=" are ignored.
//
// The caller takes `sequence` as its last sequence number only for a complete reading: a file met while it
// is being written (a value cut short) is then read again at the next poll, instead of being skipped for
// good with its change lost.
OpcOutputReading read_opc_output (const std::vector<std::string>& lines, std::uint64_t last_sequence,
                                  const std::string& kiln_register, const std::string& run_register,
                                  const std::string& pkg_register);

// One line of the CSV file that the pattern found a match in.
struct CsvMatch
{
    std::string key;          // group 1, empty if the group did not take part
    std::string value_text;   // group 2, likewise
    std::int32_t value = 0;   // value_text through convert_stoi
};

struct CsvReading
{
    // Every matching line up to the first failure, keys "Kiln", "Run", "Pkg" and any other, in order.
    std::vector<CsvMatch> matches;
    // The numbers of the matches with the keys "Kiln", "Run" and "Pkg" (exactly so), any sign, 0 included;
    // later lines override earlier ones. With a failure, what the lines before it set.
    ReportedNumbers numbers;
    std::optional<ConversionFailure> failure;

    std::string report_key() const;
};

// The longest match the CSV pattern is looked for with, in bytes.
constexpr std::size_t max_csv_match_length = 256;

// Searches every line with the pattern (a search, not a whole-line match), in bounded windows (see
// Ziz::boundedRegexSearch).
CsvReading read_csv_lines (const std::vector<std::string>& lines, const std::regex& csv_regex);

// Remembers the last failure reported, so that a file that stays malformed is reported once and not at
// every poll. A different failure, or the same one after clear(), is reported again.
class ReportOnce
{
public:
    // True when key differs from the last key reported (and remembers it).
    bool first_report (const std::string& key);
    // Called when the source reads cleanly again.
    void clear();

private:
    std::optional<std::string> last_key;
};

// Whether pending numbers differ from those in force (any of the three).
bool numbers_differ (std::int32_t current_kiln, std::int32_t current_run, std::int32_t current_pkg,
                     std::int32_t pending_kiln, std::int32_t pending_run, std::int32_t pending_pkg);

// Whether no kiln, run or package number is in force yet (all three 0): the old records need no flush.
bool numbers_unset (std::int32_t kiln, std::int32_t run, std::int32_t pkg);
