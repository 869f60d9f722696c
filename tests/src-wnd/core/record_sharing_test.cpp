#include "src-wnd/core/record_sharing.h"

#include <gtest/gtest.h>

TEST (RecordSharing, DevicesWithOneFolderAndOneNumberSourceShareTheirFiles)
{
    using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;
    const std::string opc = "OPC output file /tmp/o.txt, registers N75:3=N75:4=N75:5=";
    const struct
    {
        const char* what;
        std::vector<RecordDestination> devices;
        Pairs shared;
    } cases[] = {
        { "one device", { { "a", "/r/2026/", opc } }, {} },
        { "the defaults", { { "a", "/r/2026/", opc }, { "b", "/r/2026/", opc }, { "c", "/r/2026/", opc } }, { { 0, 1 }, { 0, 2 }, { 1, 2 } } },
        { "the same folder written otherwise", { { "a", "/r/2026/", opc }, { "b", "/r//2026", opc } }, { { 0, 1 } } },
        { "folders of their own", { { "a", "/r/a/2026/", opc }, { "b", "/r/b/2026/", opc } }, {} },
        { "other registers", { { "a", "/r/2026/", opc }, { "b", "/r/2026/", opc + "x" } }, {} },
        { "a third apart", { { "a", "/r/2026/", opc }, { "b", "/r/b/", opc }, { "c", "/r/2026", opc } }, { { 0, 2 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ (shared_record_destinations (c.devices), c.shared) << c.what;
}

TEST (RecordSharing, TextsNameBothPrefixesTheFolderAndTheRemedy)
{
    const RecordDestination a { "a", "/r/2026/", "x" }, b { "b", "/r/2026/", "x" };
    EXPECT_EQ (shared_records_log_line (a, b), "prefix=a and prefix=b would write the same record files into /r/2026/");
    EXPECT_EQ (shared_records_chart_text (b, a), "record files shared with prefix=a in /r/2026/: set b_output_directory to keep them apart");
}
