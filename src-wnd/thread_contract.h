#pragma once

// Which thread may call an entry point is part of its contract. Debug builds stop at a call from the wrong
// thread: such a call is a race, and a race seldom shows in a test any other way. Release builds check
// nothing.

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

// Logs which function was called from which thread, and ends the program.
[[noreturn]] void report_wrong_thread (const char* function, const char* expected);

#if JUCE_DEBUG
#define VUR_ON_MESSAGE_THREAD()                                                                                                 \
    do                                                                                                                          \
    {                                                                                                                           \
        if (! juce::MessageManager::existsAndIsCurrentThread())                                                                 \
            report_wrong_thread (__func__, "the message thread");                                                               \
    } while (false)
// The thread's own code while it runs; before it starts and after it ends, whoever stands in for it.
#define VUR_ON_THREAD(thread)                                                                                                   \
    do                                                                                                                          \
    {                                                                                                                           \
        if ((thread).isThreadRunning() && juce::Thread::getCurrentThreadId() != (thread).getThreadId())                        \
            report_wrong_thread (__func__, "its own thread");                                                                   \
    } while (false)
#else
#define VUR_ON_MESSAGE_THREAD() ((void) 0)
#define VUR_ON_THREAD(thread) ((void) (thread))
#endif
