#pragma once

// The operating system's request that the program quit (SIGTERM, SIGINT, SIGHUP; console close events on
// Windows). The request is handed to onQuitRequest once, on a thread of the platform layer's own (never in
// a signal handler), so that the application can post its ordinary shutdown to its message thread. Nothing
// runs while no request comes: the program is not woken to look for one.

#include <functional>

namespace Ziz::sys
{
void installQuitRequestHandlers (std::function<void()> onQuitRequest);
} // namespace Ziz::sys
