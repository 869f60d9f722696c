#pragma once

// The monitor's side of the board history: opens the workstation's store from the settings, takes the
// channels' boards to it, and keeps the store's failure on every chart while it lasts.

#include "src-wnd/history/board_history.h"

#include <juce_events/juce_events.h>

#include <memory>

class Notebook;

class BoardHistoryLink : private juce::Timer
{
public:
    // Opens the store that board_history_file names (nothing when it is empty) and makes it the one every
    // channel's boards go to. The notebook's channels show its failures; it is only read from the timer,
    // so it may still be under construction here.
    explicit BoardHistoryLink (Notebook& channels);
    // Commits what it can of the waiting boards; the channels' reading threads must have ended.
    ~BoardHistoryLink() override;

    // Any thread; never waits on the database. Does nothing while no store is open.
    static void keep (BoardRecord board);

    // The chart text of a failing store, by the standing-error key it is kept under.
    static constexpr const char* standing_error_key = "board history";

private:
    void timerCallback() override;

    Notebook& notebook;
    std::unique_ptr<BoardHistory> history;
};
