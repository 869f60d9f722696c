#pragma once

// Periodic work of the main window and its device tabs runs on a shared beat: a timer restarted with
// until_next_tick fires at the next whole multiple of its interval on the millisecond counter, so that all
// timers of the same interval fall due together and the framework serves them with one wake-up of its timer
// thread and of the message thread, instead of one each.

#include <juce_core/juce_core.h>

inline int until_next_tick (int interval_ms)
{
    const auto now = juce::Time::getMillisecondCounter();
    return interval_ms - static_cast<int> (now % static_cast<juce::uint32> (interval_ms));
}
