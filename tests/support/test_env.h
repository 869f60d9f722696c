#pragma once

#include <string>

namespace vurtest
{
// The per-process sandbox the test main made: TMPDIR, HOME and VUR_CONFIG_DIR all point inside it.
const std::string& sandboxDir();

// A fresh, empty folder inside the sandbox, for one test.
std::string makeTempDir (const std::string& stem);

void writeFile (const std::string& path, const std::string& content);
std::string readFile (const std::string& path);
// A file that a text-mode stream wrote, as the program wrote it: Windows' CR LF line ends read back as LF.
std::string readTextFile (const std::string& path);

// Environment variables, the same way on every platform (MinGW has no setenv).
void setEnv (const char* name, const std::string& value);
void unsetEnv (const char* name);

// Points the temporary folder at path for this process and the children it starts: TMPDIR on POSIX,
// TMP and TEMP on Windows. Returns the folder it replaced.
std::string setTempDir (const std::string& path);

// Moves TMPDIR, HOME and VUR_CONFIG_DIR into a new folder; called first by every test main.
void setUpSandbox();
void tearDownSandbox();
}
