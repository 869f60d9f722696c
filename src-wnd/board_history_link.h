#pragma once

// The monitor's side of the board history: opens the workstation's store from the settings, takes the
// channels' boards to it, and tells the charts of the store's failure while it lasts.

#include "src-wnd/history/board_history.h"

#include <memory>
#include <string>

class BoardHistoryLink
{
public:
    // Opens the store that board_history_file names (nothing when it is empty) and makes it the one every
    // channel's boards go to. Made before the channels and destroyed after them.
    BoardHistoryLink();
    // Commits what it can of the waiting boards; the channels' reading threads must have ended.
    ~BoardHistoryLink();

    // Any thread; never waits on the database. Does nothing while no store is open.
    static void keep (BoardRecord board);

    // What a chart shows while the store cannot be written, empty while it can (or no store is open).
    // Each channel asks at its status refresh, so the failure and its end reach the chart at the next
    // redraw without a poll of its own.
    static std::string failure_text();

    // The chart text of a failing store, by the standing-error key it is kept under.
    static constexpr const char* standing_error_key = "board history";

private:
    std::unique_ptr<BoardHistory> history;
};
