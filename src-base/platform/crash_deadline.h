#pragma once

// A deadline for the crash report. The report is built with the heap and the log, and the crash may have left
// either locked (a signal that arrives while its own thread is inside the allocator, a thread that died
// holding the log): the report would then wait forever, and a monitor that hangs with its window frozen is
// worse for a mill than one that ends and is started again. A crash handler starts the deadline first; when
// the report has not ended the process by then, the process ends with the crash's status, without the rest
// of the report.

namespace Ziz::sys
{
// At start-up, before a crash can happen: what the deadline needs that cannot be made during a crash.
void prepareCrashDeadline();

// From a crash handler: ends the process with status after seconds, unless it ends before. Safe in a signal
// handler.
void startCrashDeadline (unsigned seconds, int status);
} // namespace Ziz::sys
