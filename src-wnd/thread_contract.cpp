#include "src-wnd/thread_contract.h"

#include "src-log/log.h"

#include <cstdio>
#include <cstdlib>

void report_wrong_thread (const char* function, const char* expected)
{
    const auto* current = juce::Thread::getCurrentThread();
    const std::string text = std::string (function) + " was called on "
                             + (current != nullptr ? current->getThreadName().toStdString() : std::string ("a thread of no name"))
                             + ", but may only be called on " + expected;
    log_line (text);
    std::fprintf (stderr, "%s\n", text.c_str());
    std::abort();
}
