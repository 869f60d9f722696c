#include "src-wnd/board_history_link.h"

#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-cfg/core/history_location.h"
#include "src-cfg/core/setting_text.h"
#include "src-wnd/notebook.h"
#include "src-wnd/tabcanvas.h"

#include <atomic>

namespace
{
// The open store, for the reading threads. Set and cleared on the message thread while no reading thread
// runs (the link is made before the channels and destroyed after them).
std::atomic<BoardHistory*> current_history { nullptr };

// How often a store failure and its end reach the charts: well within a chart redraw.
constexpr int status_poll_ms = 500;
} // namespace

BoardHistoryLink::BoardHistoryLink (Notebook& channels) : notebook (channels)
{
    auto& cfg = cfg_store();
    // Not written into the configuration when missing, so that a workstation that never names them keeps
    // its file as it was; a missing key means the default, an empty one switches the history off.
    const std::string path = cfg.get_str ("board_history_file", default_board_history_file (cfg.get_str ("output_directory", "")));
    if (path.empty())
    {
        log_line ("board history is switched off (board_history_file is empty)");
        return;
    }
    BoardHistoryOptions options;
    options.path = path;
    options.retention_days = Ziz::readIntSetting (cfg.get_str ("board_history_days", "730"));
    options.log = [] (const std::string& line) { log_line (line); };
    log_line_of ("board history: ", path, ", kept ", options.retention_days, " days");
    history = std::make_unique<BoardHistory> (options);
    current_history.store (history.get());
    startTimer (status_poll_ms);
}

BoardHistoryLink::~BoardHistoryLink()
{
    stopTimer();
    current_history.store (nullptr);
    history.reset();
}

void BoardHistoryLink::keep (BoardRecord board)
{
    if (auto* h = current_history.load())
        h->add (std::move (board));
}

void BoardHistoryLink::timerCallback()
{
    const auto status = history->status();
    const std::string reason = status.failing ? "the board history cannot be written (boards wait in memory: "
                                                    + std::to_string (status.waiting) + "): " + status.reason
                                              : std::string();
    // Every poll, not only on a change: a channel added or cleared since shows it too.
    for (int i = 0; i < notebook.getNumTabs(); ++i)
        if (auto* canvas = dynamic_cast<TabCanvas*> (notebook.getTabContentComponent (i)))
        {
            canvas->change ([&reason] (ChannelState& state) {
                if (reason.empty())
                    state.standing_errors.erase (standing_error_key);
                else
                    state.standing_errors[standing_error_key] = reason;
            });
        }
}
