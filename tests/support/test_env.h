#pragma once

#include <cstddef>
#include <optional>
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

// How many times part occurs in text, occurrences not overlapping: the log lines a test waits for or counts.
std::size_t count_of (const std::string& text, const std::string& part);

// Environment variables, the same way on every platform (MinGW has no setenv).
void setEnv (const char* name, const std::string& value);
void unsetEnv (const char* name);

// Sets an environment variable (or, given nothing, removes it) for the life of the object, and puts back
// what was there before, so that no test leaves the next one a changed environment.
class ScopedEnv
{
public:
    ScopedEnv (const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv (const ScopedEnv&) = delete;
    ScopedEnv& operator= (const ScopedEnv&) = delete;

    void set (const std::optional<std::string>& value);

private:
    const char* name;
    std::optional<std::string> saved;
};

// Points the temporary folder at path for this process and the children it starts: TMPDIR on POSIX,
// TMP and TEMP on Windows. Returns the folder it replaced.
std::string setTempDir (const std::string& path);

// Moves TMPDIR, HOME and VUR_CONFIG_DIR into a new folder; called first by every test main.
void setUpSandbox();
void tearDownSandbox();
}
