#include "src-vur/core/load_progress.h"

#include "src-base/core/ZizString.h"

#include <cmath>
#include <sstream>
#include <utility>

const std::array<const char*, 29> humorous_status_messages = {
    "Beam me up...",
    "Calling Jenny at 867-5309...",
    "Chasing an untamed ornithoid without cause...",
    "Chatting with other computers...",
    "Comparing Picard and Kirk...",
    "Don't worry, be happy!",
    "E.T. phone home...",
    "Evaluating artificial intelligence...",
    "Fixing ozone layer...",
    "Going fishing...",
    "Looking for evidence of life...",
    "Looking for trees...",
    "Making him an offer he can't refuse...",
    "May the force be with you...",
    "Opening the pod bay doors...",
    "Party at your place next weekend...",
    "Re-booting the internet...",
    "Saying the alphabet backwards...",
    "Searching for doughnuts...",
    "Shall we play a game?",
    "Sipping coffee...",
    "Starting HAL 9000...",
    "Studying Shakespeare...",
    "There's no place like home...",
    "Thinking BBQ for dinner...",
    "Tightening lug nuts...",
    "Waiting for summer...",
    "We're going to need a bigger boat...",
    "You talking to me?",
};

std::string pick_status_message (float draw, int index)
{
    if (draw >= 0.9f && index >= 0 && index < static_cast<int> (humorous_status_messages.size()))
        return humorous_status_messages[static_cast<std::size_t> (index)];
    return starting_status_message;
}

LoadProgress::LoadProgress (StoredTotalReader reader) : read_stored_total (std::move (reader)) {}

std::string LoadProgress::add_units (double units)
{
    if (total < 1)
    {
        const int stored = read_stored_total ? read_stored_total() : 100;
        total = stored < 1 ? 100 : stored;
    }

    done += units;
    if (done < 1)
        done = 1;

    std::ostringstream line;
    line << "update progress bar: " << done << "/" << total << " = " << Ziz::formatFixed (ratio() * 100, 1) << "%";
    return line.str();
}

double LoadProgress::ratio() const { return total > 0 ? done / total : 0; }

std::optional<int> LoadProgress::total_to_store() const
{
    if (done == total)
        return std::nullopt;
    return static_cast<int> (std::lround (done));
}
