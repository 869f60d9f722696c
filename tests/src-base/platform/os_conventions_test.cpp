#include "src-base/platform/os_conventions.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace
{
TEST (OsConventions, NamesAndFoldersOfThisSystem)
{
#ifdef _WIN32
    EXPECT_STREQ (Ziz::sys::operatingSystemFamily(), "Windows");
    EXPECT_EQ (Ziz::sys::programFileName ("vur-meter-sim"), "vur-meter-sim.exe");
    // The plant's own console; the stand-in is never installed under its name.
    EXPECT_EQ (Ziz::sys::defaultOpcConsoleApplication(), "OPCConsole.exe");
    EXPECT_EQ (Ziz::sys::defaultRecordFolder(), "C:\\22m2k\\data\\%Y\\boardmc\\");
    EXPECT_EQ (Ziz::sys::allUsersDataFolder().substr (1), ":\\ProgramData");
#else
    EXPECT_EQ (Ziz::sys::programFileName ("vur-meter-sim"), "vur-meter-sim");
    // No real console exists here: the stand-in serves.
    EXPECT_EQ (Ziz::sys::defaultOpcConsoleApplication(), "vur-opc-sim");
    EXPECT_EQ (Ziz::sys::allUsersDataFolder(), "/var");
    const char* saved = std::getenv ("HOME");
    const std::string home = saved != nullptr ? saved : "";
    const struct
    {
        const char* home;
        const char* folder;
    } cases[] = {
        { "/home/miller", "/home/miller/22m2k/data/%Y/boardmc/" },
        { "/home/miller/", "/home/miller/22m2k/data/%Y/boardmc/" },
        { "/", "/22m2k/data/%Y/boardmc/" },
    };
    for (const auto& c : cases)
    {
        vurtest::setEnv ("HOME", c.home);
        EXPECT_EQ (Ziz::sys::defaultRecordFolder(), c.folder) << c.home;
    }
    vurtest::setEnv ("HOME", home);
#endif
}

TEST (OsConventions, LocalTimeIsTheInverseOfMktime)
{
    for (const std::time_t t : { std::time_t (0), std::time_t (1700000000), std::time (nullptr) })
    {
        std::tm local = Ziz::sys::localTime (t);
        EXPECT_EQ (std::mktime (&local), t) << t;
    }
}
} // namespace
