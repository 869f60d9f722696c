#include "src-wnd/board_history_link.h"

#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-cfg/core/history_location.h"
#include "src-cfg/core/setting_text.h"

#include <atomic>

namespace
{
// The open store, for the reading threads. Set and cleared on the message thread while no reading thread
// runs (the link is made before the channels and destroyed after them).
std::atomic<BoardHistory*> current_history { nullptr };
} // namespace

BoardHistoryLink::BoardHistoryLink()
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
}

BoardHistoryLink::~BoardHistoryLink()
{
    current_history.store (nullptr);
    history.reset();
}

void BoardHistoryLink::keep (BoardRecord board)
{
    if (auto* h = current_history.load())
        h->add (std::move (board));
}

std::string BoardHistoryLink::failure_text()
{
    auto* h = current_history.load();
    if (h == nullptr)
        return {};
    const auto status = h->status();
    if (! status.failing)
        return {};
    return "the board history cannot be written (boards wait in memory: " + std::to_string (status.waiting) + "): " + status.reason;
}
