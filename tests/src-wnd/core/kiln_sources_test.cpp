#include "src-wnd/core/kiln_sources.h"
#include "src-wnd/core/number_conversions.h"

#include "small_stack.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
const std::string kiln_register = "N75:3=";
const std::string run_register = "N75:4=";
const std::string pkg_register = "N75:5=";

OpcOutputReading read_opc (const std::vector<std::string>& lines, std::uint64_t last_sequence = 0)
{
    return read_opc_output (lines, last_sequence, kiln_register, run_register, pkg_register);
}

// "value" or the error's type and text.
template <typename Convert>
std::string outcome (Convert convert, const std::string& text)
{
    try
    {
        return std::to_string (convert (text));
    }
    catch (const std::invalid_argument& e)
    {
        return std::string ("invalid_argument: ") + e.what();
    }
    catch (const std::out_of_range& e)
    {
        return std::string ("out_of_range: ") + e.what();
    }
}

const std::regex default_csv_regex (R"re(^\s*"(.+)",([0-9]+)$)re", std::regex::ECMAScript);
} // namespace

TEST (NumberConversions, ThirtyTwoBitStoulAndStoi)
{
    const std::pair<const char*, const char*> stoul_cases[] = {
        { "42", "42" }, { "  \t42 trailing", "42" }, { "+7", "7" }, { "4294967295", "4294967295" },
        { "-1", "4294967295" }, { "00000000000000000000012", "12" },
        { "4294967296", "out_of_range: stoul argument out of range" },
        { "99999999999999999999999", "out_of_range: stoul argument out of range" },
        { "", "invalid_argument: invalid stoul argument" }, { "abc", "invalid_argument: invalid stoul argument" },
        { "- 5", "invalid_argument: invalid stoul argument" },
    };
    for (const auto& [text, expected] : stoul_cases)
        EXPECT_EQ (outcome (convert_stoul, text), expected) << '"' << text << '"';

    const std::pair<const char*, const char*> stoi_cases[] = {
        { "12", "12" }, { " -5x", "-5" }, { "2147483647", "2147483647" }, { "-2147483648", "-2147483648" },
        { "2147483648", "out_of_range: stoi argument out of range" },
        { "-2147483649", "out_of_range: stoi argument out of range" },
        { "", "invalid_argument: invalid stoi argument" }, { "x1", "invalid_argument: invalid stoi argument" },
    };
    for (const auto& [text, expected] : stoi_cases)
        EXPECT_EQ (outcome (convert_stoi, text), expected) << '"' << text << '"';
}

TEST (OpcOutput, MissingAndUnchangedFilesSetNothing)
{
    EXPECT_EQ (read_opc ({}).status, OpcOutputReading::Status::missing);

    const auto unchanged = read_opc ({ " 41", "N75:3=12", "N75:4=x" }, 41);
    EXPECT_EQ (unchanged.status, OpcOutputReading::Status::unchanged);
    EXPECT_TRUE (unchanged.numbers.empty());
    EXPECT_FALSE (unchanged.failure);
}

TEST (OpcOutput, NewSequenceSetsNumbersByRegisterSuffix)
{
    const auto reading = read_opc ({
        "42",
        "Channel1.PLC.N75:3=12",  // the key ends with the kiln register
        "ns=2;s=N75:3=77",        // the key is "ns": it ends at the first "="
        "N75:4=7",
        "N75:5=3",
        "no equals sign here",
        "N75:30=99",       // N75:30 does not end with N75:3
        "N75:5 =8",        // nor does "N75:5 " end with N75:5
        "N75:5=0",         // 0 and below are ignored
        "N75:5=-2",
        "N75:5=4 trailing",  // later lines override, text after the number is ignored
        "",
    });
    EXPECT_EQ (reading.status, OpcOutputReading::Status::complete);
    EXPECT_EQ (reading.sequence, 42u);
    EXPECT_EQ (reading.numbers.kiln, 12);
    EXPECT_EQ (reading.numbers.run, 7);
    EXPECT_EQ (reading.numbers.pkg, 4);

    std::int32_t kiln = 1, run = 1, pkg = 1;
    read_opc ({ "43", "N75:4=9" }).numbers.apply_to (kiln, run, pkg);
    EXPECT_EQ (kiln, 1);
    EXPECT_EQ (run, 9);
    EXPECT_EQ (pkg, 1);
}

TEST (OpcOutput, RegisterTestsAreIndependent)
{
    // One register the suffix of another, and an empty register setting ("=" alone matches every key).
    const auto shared = read_opc_output ({ "1", "AN75:3=5", "N75:3=6" }, 0, "N75:3=", "AN75:3=", "=");
    EXPECT_EQ (shared.numbers.kiln, 6);
    EXPECT_EQ (shared.numbers.run, 5);
    EXPECT_EQ (shared.numbers.pkg, 6);
}

TEST (OpcOutput, ConversionFailuresAreReportedWithLineAndText)
{
    struct Case
    {
        std::vector<std::string> lines;
        std::size_t line;
        const char* text;
    };
    const Case cases[] = {
        { { "4294967296", "N75:3=12" }, 1, "stoul argument out of range" },
        { { "" }, 1, "invalid stoul argument" },  // an empty file
        { { "seq", "N75:3=12" }, 1, "invalid stoul argument" },
        { { "9", "N75:3=12", "N75:4=" }, 3, "invalid stoi argument" },
        { { "9", "N75:3=3000000000" }, 2, "stoi argument out of range" },
        { { "9", "unrelated=abc" }, 2, "invalid stoi argument" },  // every value is converted
    };
    for (const auto& c : cases)
    {
        const auto reading = read_opc (c.lines, 7);
        EXPECT_EQ (reading.status, OpcOutputReading::Status::malformed) << c.lines[0];
        ASSERT_TRUE (reading.failure);
        EXPECT_EQ (reading.failure->line, c.line);
        EXPECT_EQ (reading.failure->text, c.text);
        EXPECT_EQ (reading.failure->line_text, c.lines[c.line - 1]);
        EXPECT_TRUE (reading.failure->error);
    }

    const auto reading = read_opc ({ "1", "x=y" });
    try
    {
        std::rethrow_exception (reading.failure->error);
    }
    catch (const std::invalid_argument& e)
    {
        EXPECT_STREQ (e.what(), "invalid stoi argument");
    }
}

TEST (OpcOutput, HalfWrittenFileIsReadAgainOnceWholeAndReportedOnce)
{
    // The caller's side of the protocol: the sequence is taken only from a complete reading, and a
    // malformed state is reported once.
    std::uint64_t last_sequence = 7;
    std::int32_t kiln = 1, run = 1, pkg = 1;
    ReportOnce reports;
    int reported = 0;
    int applied = 0;
    const auto poll = [&] (const std::vector<std::string>& lines) {
        const auto reading = read_opc (lines, last_sequence);
        if (reading.status == OpcOutputReading::Status::malformed)
        {
            reported += reports.first_report (reading.report_key()) ? 1 : 0;
            return;
        }
        if (reading.status != OpcOutputReading::Status::complete)
            return;
        reports.clear();
        last_sequence = reading.sequence;
        reading.numbers.apply_to (kiln, run, pkg);
        ++applied;
    };

    const std::vector<std::string> half = { "8", "N75:3=2", "N75:4=" };
    poll (half);
    poll (half);
    poll (half);
    EXPECT_EQ (reported, 1);
    EXPECT_EQ (applied, 0);
    EXPECT_EQ (last_sequence, 7u);
    EXPECT_EQ (kiln, 1);  // nothing of the half file was taken

    poll ({ "8", "N75:3=2", "N75:4=5", "N75:5=6" });
    EXPECT_EQ (applied, 1);
    EXPECT_EQ (last_sequence, 8u);
    EXPECT_EQ (kiln, 2);
    EXPECT_EQ (run, 5);
    EXPECT_EQ (pkg, 6);

    // The same failure after a clean reading is news again; a different failure too.
    poll ({ "9", "N75:3=2", "N75:4=" });
    poll ({ "9", "N75:3=x" });
    poll ({ "garbage" });
    poll ({ "garbage" });
    EXPECT_EQ (reported, 4);
}

TEST (CsvSource, KeysAreExactAndAnyValueIsTaken)
{
    const auto reading = read_csv_lines (
        {
            R"("Kiln",0)",
            R"("kiln",5)",
            R"(  "Run",12)",
            R"("Pkg",3)",
            R"("Pkg",4 trailing)",  // no match: nothing may follow the value
            R"("Kiln",9)",
            "",
            "garbage",
            R"("Pkg",0004)",
        },
        default_csv_regex);

    ASSERT_FALSE (reading.failure);
    ASSERT_EQ (reading.matches.size(), 6u);
    EXPECT_EQ (reading.matches[0].key, "Kiln");
    EXPECT_EQ (reading.matches[0].value_text, "0");
    EXPECT_EQ (reading.matches[1].key, "kiln");  // matched, to be logged, but no number
    EXPECT_EQ (reading.matches[1].value, 5);
    EXPECT_EQ (reading.matches[5].value_text, "0004");
    EXPECT_EQ (reading.numbers.kiln, 9);
    EXPECT_EQ (reading.numbers.run, 12);
    EXPECT_EQ (reading.numbers.pkg, 4);

    const auto zero = read_csv_lines ({ R"("Kiln",0)" }, default_csv_regex);
    EXPECT_EQ (zero.numbers.kiln, 0);
    EXPECT_FALSE (zero.numbers.run);

    const std::regex signed_regex (R"re(^\s*"(.+)",(-?[0-9]+)$)re");
    EXPECT_EQ (read_csv_lines ({ R"("Run",-5)" }, signed_regex).numbers.run, -5);
}

TEST (CsvSource, ConversionFailureKeepsEarlierMatches)
{
    const std::regex loose (R"re("(\w+)"(?:,(.*))?)re");
    const struct
    {
        std::vector<std::string> lines;
        std::size_t matches;
        std::size_t line;
        const char* text;
    } cases[] = {
        { { R"("Run",12)", R"("Pkg",x)", R"("Kiln",3)" }, 1, 2, "invalid stoi argument" },
        { { R"("Other",99999999999)" }, 0, 1, "stoi argument out of range" },
        { { R"("Run",7)", R"(   "Pkg")" }, 1, 2, "invalid stoi argument" },  // group 2 did not take part
    };
    for (const auto& c : cases)
    {
        const auto reading = read_csv_lines (c.lines, loose);
        ASSERT_TRUE (reading.failure);
        EXPECT_EQ (reading.matches.size(), c.matches);
        EXPECT_EQ (reading.failure->line, c.line);
        EXPECT_EQ (reading.failure->text, c.text);
        EXPECT_FALSE (reading.numbers.kiln);
    }
}

TEST (CsvSource, LongLinesAreSearchedOnASmallStack)
{
    // One line of any length must not end the monitor at every poll: it matches nothing, the others count.
    vurtest::runOnStackOf (vurtest::oneMebibyte, [] {
        for (const std::string& junk : { std::string (200000, ' '), "\"" + std::string (200000, 'x') + "\",5",
                                         "\"Run\"," + std::string (200000, '9') })
        {
            const auto reading = read_csv_lines ({ R"("Kiln",7)", junk, R"("Pkg",3)" }, default_csv_regex);
            EXPECT_FALSE (reading.failure);
            EXPECT_EQ (reading.numbers.kiln, 7);
            EXPECT_FALSE (reading.numbers.run);
            EXPECT_EQ (reading.numbers.pkg, 3);
        }
    });
}
