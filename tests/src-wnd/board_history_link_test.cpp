// The monitor's boards into the board history: what a counted board becomes in the database, and a store
// that cannot be written, shown on the charts while it lasts.

#include "app_fixture.h"
#include "meter.h"
#include "src-wnd/board_history_link.h"
#include "src-wnd/notebook.h"
#include "src-wnd/tabcanvas.h"

#include "sqlite_rows.h"

#include <sqlite3.h>

#include <filesystem>

namespace
{
// What is committed, read as the report would: NULL when the file cannot be read yet.
std::string query (const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::string out = "NULL";
    if (sqlite3_open_v2 (path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
    {
        bool prepared = false;
        std::string rows = vurtest::sqlite_rows (db, sql, &prepared);
        if (prepared)
            out = std::move (rows);
    }
    sqlite3_close_v2 (db);
    return out;
}

class BoardHistoryWiring : public vurtest::AppFixture
{
protected:
    // A notebook with the link made first, as the main window has them, and one channel on the meter.
    void open_channel (const std::string& port)
    {
        add_device ("m", port);
        app->cfg->set_str ("m_last_kiln", "4");
        app->cfg->set_str ("m_last_run", "5");
        app->cfg->set_str ("m_last_pkg", "6");
        link = std::make_unique<BoardHistoryLink>();
        canvas = new TabCanvas ("m");
        notebook->addTab ("m", juce::Colours::grey, canvas, true, -1);
    }

    std::string standing_error()
    {
        const auto standing = canvas->figures().standing_errors;
        const auto found = standing.find (BoardHistoryLink::standing_error_key);
        return found == standing.end() ? std::string() : found->second;
    }

    void TearDown() override
    {
        // The channels end before the link, as in the main window.
        notebook.reset();
        link.reset();
        AppFixture::TearDown();
    }

    std::unique_ptr<Notebook> notebook = std::make_unique<Notebook>();
    std::unique_ptr<BoardHistoryLink> link;
    TabCanvas* canvas = nullptr;
};
} // namespace

TEST_F (BoardHistoryWiring, EveryCountedBoardIsStoredWithItsReadingsNumbersAndDevice)
{
    const auto path = folder + "/history/boards.sqlite";
    app->cfg->set_str ("board_history_file", path);
    vurtest::Meter meter;
    ASSERT_TRUE (meter.is_open()) << vurtest::meter_problem (meter);
    open_channel (meter.path);

    const auto before = std::chrono::duration_cast<std::chrono::milliseconds> (
                            std::chrono::system_clock::now().time_since_epoch()).count();
    // The second line is no board (no positive value): it is not stored either.
    meter.send ("14.8\t14.2\r\n00.0\t00.0\r\n12.0\t11.5\r\n");
    ASSERT_TRUE (pump_until ([&] { return query (path, "SELECT count(*) FROM boards") == "2\n"; }))
        << query (path, "SELECT count(*) FROM boards");
    EXPECT_EQ (query (path, "SELECT prefix, device, reading1, reading2, value, kiln, run, package FROM boards ORDER BY id"),
               "m|Test meter|14.8|14.2|14.2|4|5|6\n"
               "m|Test meter|12.0|11.5|11.5|4|5|6\n");
    const auto stored = std::stoll (query (path, "SELECT min(time_ms) FROM boards"));
    EXPECT_GE (stored, before);
    EXPECT_LT (stored, before + 60000);
    EXPECT_EQ (standing_error(), "");
}

TEST_F (BoardHistoryWiring, AStoreThatCannotBeWrittenIsOnTheChartUntilItIsBackAndNoBoardIsLost)
{
    // A regular file where the database's folder should be.
    const auto blocker = folder + "/history";
    const auto path = blocker + "/boards.sqlite";
    vurtest::writeFile (blocker, "in the way");
    app->cfg->set_str ("board_history_file", path);
    vurtest::Meter meter;
    ASSERT_TRUE (meter.is_open()) << vurtest::meter_problem (meter);
    open_channel (meter.path);

    meter.send ("14.8\t14.2\r\n");
    ASSERT_TRUE (pump_until ([&] { return ! standing_error().empty(); }));
    EXPECT_NE (standing_error().find ("the board history cannot be written"), std::string::npos) << standing_error();
    EXPECT_NE (standing_error().find ("unable to open"), std::string::npos) << standing_error();
    // The chart draws it in the error lines.
    EXPECT_EQ (canvas->figures().standing_errors.size(), 1u);
    meter.send ("12.0\t11.5\r\n");
    ASSERT_TRUE (pump_until ([&] { return canvas->figures().run_count == 2; }));
    EXPECT_EQ (vurtest::count_of (log_text(), "cannot be written"), 1u) << log_text();

    std::filesystem::remove (blocker);
    ASSERT_TRUE (pump_until ([&] { return standing_error().empty(); }));
    ASSERT_TRUE (pump_until ([&] { return query (path, "SELECT group_concat(value) FROM boards") == "14.2,11.5\n"; }))
        << query (path, "SELECT group_concat(value) FROM boards");
    EXPECT_EQ (vurtest::count_of (log_text(), "is written again"), 1u) << log_text();
}

TEST_F (BoardHistoryWiring, AnEmptySettingSwitchesItOffAndTheBoardsAreStillCounted)
{
    app->cfg->set_str ("board_history_file", "");
    vurtest::Meter meter;
    ASSERT_TRUE (meter.is_open()) << vurtest::meter_problem (meter);
    open_channel (meter.path);
    meter.send ("14.8\t14.2\r\n");
    ASSERT_TRUE (pump_until ([&] { return canvas->figures().run_count == 1; }));
    EXPECT_NE (log_text().find ("board history is switched off"), std::string::npos);
    EXPECT_FALSE (std::filesystem::exists (records_dir + "/boards.sqlite"));
    EXPECT_EQ (standing_error(), "");
}
