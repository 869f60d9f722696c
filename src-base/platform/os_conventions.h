#pragma once

// What differs between the operating systems apart from their services: where things go by default, what
// programs are called, how local time is read. The rest of the system asks here instead of testing which
// system it was built for. One implementation per operating system.

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace Ziz::sys
{
// "Windows" or "Linux" ("POSIX" for another POSIX system), as the about text names the build.
const char* operatingSystemFamily();

// The file name of one of the system's programs: "vur-meter-sim" is "vur-meter-sim.exe" on Windows.
std::string programFileName (const std::string& stem);

// The OPC console the monitor starts unless its configuration names another: on Windows the plant's own
// console, "OPCConsole.exe"; on Linux, where no such console exists, the system's stand-in "vur-opc-sim"
// (a simulated plant or a relay of a plant gateway's file).
std::string defaultOpcConsoleApplication();

// The folder that holds data shared by all users: the common application data folder on Windows
// (C:\ProgramData), /var elsewhere.
std::string allUsersDataFolder();

// The default pattern of the record folder, ending in a separator: "C:\22m2k\data\%Y\boardmc\" on Windows,
// <home>/22m2k/data/%Y/boardmc/ elsewhere.
std::string defaultRecordFolder();

// The bytes that one line break takes in a file written in text mode: 2 on Windows (CR LF), 1 elsewhere.
std::size_t textLineBreakSize();

// The program's arguments after its name, in UTF-8 (on Windows argv holds them in the code page).
std::vector<std::string> programArguments (int argc, char** argv);

// The local time of t, safe to call from any thread.
std::tm localTime (std::time_t t);
} // namespace Ziz::sys
