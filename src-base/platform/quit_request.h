#pragma once

// The operating system's request that the program quit (SIGTERM, SIGINT, SIGHUP; console close events on
// Windows). The handler only raises a flag: the application polls it and runs its ordinary shutdown.

namespace Ziz::sys
{
void installQuitRequestHandlers();
bool quitRequested();
} // namespace Ziz::sys
