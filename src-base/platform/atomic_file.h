#pragma once

// Files that readers must always see whole: written beside their final name, flushed to disk, then put in
// place in one step (POSIX rename, Win32 MoveFileEx). Names are UTF-8 on every system.

#include <string>

namespace Ziz::sys
{
// Writes the bytes to a temporary file in the target's folder and replaces the target with it.
// Returns false, and leaves any old file untouched, when any step fails; reason() says why.
bool writeFileAtomically (const std::string& path, const std::string& bytes, std::string* reason = nullptr);

// Puts an existing file in place of another in one step (the target may or may not exist).
bool replaceFile (const std::string& source, const std::string& target, std::string* reason = nullptr);
} // namespace Ziz::sys
