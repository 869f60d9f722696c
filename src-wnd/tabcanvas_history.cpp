// The channel's boards into the workstation's board history.

#include "src-wnd/tabcanvas.h"

#include "src-wnd/board_history_link.h"
#include "src-wnd/thread_contract.h"

#include <chrono>

void TabCanvas::keep_in_history (double value, double reading1, double reading2)
{
    BoardRecord board;
    board.time_ms = std::chrono::duration_cast<std::chrono::milliseconds> (
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    board.prefix = prefix;
    board.device = shown_device_name;
    board.reading1 = reading1;
    board.reading2 = reading2;
    board.value = value;
    // Called under the channel's lock, with the numbers the board is counted under.
    board.kiln = state.current_kiln;
    board.run = state.current_run;
    board.package = state.current_pkg;
    BoardHistoryLink::keep (std::move (board));
}

void TabCanvas::show_history_failure()
{
    VUR_ON_MESSAGE_THREAD();
    const std::string text = BoardHistoryLink::failure_text();
    const juce::ScopedLock guard (lock);
    if (text.empty())
        state.standing_errors.erase (BoardHistoryLink::standing_error_key);
    else
        state.standing_errors[BoardHistoryLink::standing_error_key] = text;
}
