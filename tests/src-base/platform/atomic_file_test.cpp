#include "src-base/platform/atomic_file.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace
{
std::size_t entries_in (const std::string& dir)
{
    return static_cast<std::size_t> (std::distance (fs::directory_iterator (fs::u8path (dir)), fs::directory_iterator()));
}

#ifndef _WIN32
// Version k of a large file: a header naming k and its length, a body, and a trailer that only a whole
// write reaches.
std::string version_text (unsigned k)
{
    const std::size_t body = 1'000'000 + (k % 7) * 50'000;
    std::string text = "version " + std::to_string (k) + " length " + std::to_string (body) + "\n";
    text.append (body, static_cast<char> ('a' + k % 26));
    text += "\nend of version " + std::to_string (k) + "\n";
    return text;
}

bool is_whole_version (const std::string& content)
{
    unsigned k = 0;
    if (std::sscanf (content.c_str(), "version %u ", &k) != 1)
        return false;
    return content == version_text (k);
}
#endif
} // namespace

TEST (AtomicFile, WritesAndReplacesWithOrdinaryPermissions)
{
    const std::string dir = vurtest::makeTempDir ("atomic");
    const std::string path = dir + "/7_012003.mc";
#ifndef _WIN32
    const mode_t old_mask = ::umask (022);
#endif

    std::string reason = "untouched";
    ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, "first\r\n", &reason)) << reason;
    EXPECT_EQ (vurtest::readFile (path), "first\r\n");
    ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, std::string ("second\0x", 8)));
    EXPECT_EQ (vurtest::readFile (path), std::string ("second\0x", 8));
    ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, ""));
    EXPECT_EQ (vurtest::readFile (path), "");
#ifndef _WIN32
    ::umask (old_mask);
    struct stat info {};
    ASSERT_EQ (::stat (path.c_str(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0644u);  // not the 0600 of a private temporary file
#endif
    EXPECT_EQ (entries_in (dir), 1u);         // no temporary left behind

    vurtest::writeFile (dir + "/other", "moved");
    ASSERT_TRUE (Ziz::sys::replaceFile (dir + "/other", path, &reason)) << reason;
    EXPECT_EQ (vurtest::readFile (path), "moved");
    EXPECT_EQ (entries_in (dir), 1u);
}

// Record folders and user folders carry the names people give them ("D:\Sågverk", "C:\Users\Jörg"); names
// are UTF-8 throughout the program.
TEST (AtomicFile, NamesOutsideAsciiAreTheNamesGiven)
{
    const std::string dir = vurtest::makeTempDir ("atomic-names") + "/S\u00e5gverk J\u00f6rg";
    fs::create_directories (fs::u8path (dir));
    const std::string path = dir + "/7_012003 \u00e4.mc";

    std::string reason;
    ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, "first", &reason)) << reason;
    EXPECT_EQ (vurtest::readFile (path), "first");
    vurtest::writeFile (dir + "/\u00f6ther", "moved");
    ASSERT_TRUE (Ziz::sys::replaceFile (dir + "/\u00f6ther", path, &reason)) << reason;
    EXPECT_EQ (vurtest::readFile (path), "moved");
    EXPECT_EQ (entries_in (dir), 1u);
}

TEST (AtomicFile, FailureLeavesTheOldStateAndSaysWhy)
{
    const std::string dir = vurtest::makeTempDir ("atomic-fail");

    // The target is a folder: the rename fails after the temporary was written.
    const std::string folder = dir + "/taken";
    fs::create_directory (folder);
    vurtest::writeFile (folder + "/inside", "keep");
    std::string reason;
    EXPECT_FALSE (Ziz::sys::writeFileAtomically (folder, "data", &reason));
    EXPECT_NE (reason.find (folder), std::string::npos) << reason;
    EXPECT_NE (reason.find (": "), std::string::npos) << reason;
    EXPECT_TRUE (fs::is_directory (folder));
    EXPECT_EQ (vurtest::readFile (folder + "/inside"), "keep");
    EXPECT_EQ (entries_in (dir), 1u);  // the temporary was removed

    reason.clear();
    EXPECT_FALSE (Ziz::sys::writeFileAtomically (dir + "/missing/file.mc", "data", &reason));
    EXPECT_NE (reason.find (dir + "/missing/file.mc.tmp"), std::string::npos) << reason;

    reason.clear();
    EXPECT_FALSE (Ziz::sys::replaceFile (dir + "/absent", dir + "/target", &reason));
    EXPECT_FALSE (reason.empty());
    EXPECT_FALSE (fs::exists (dir + "/target"));
}

#ifndef _WIN32
// The shared configuration file opened to every operator's account, a record file given to a group: a
// replacement keeps who may read and write the file, and its owner where the writer may give it away.
TEST (AtomicFile, AReplacedFileKeepsItsAccess)
{
    const std::string dir = vurtest::makeTempDir ("atomic-access");
    const mode_t old_mask = ::umask (022);
    for (const mode_t mode : { 0666, 0640, 0600 })
    {
        const std::string path = dir + "/DuvidudUvereverOzure.cfg";
        vurtest::writeFile (path, "old");
        ASSERT_EQ (::chmod (path.c_str(), mode), 0);
        if (::geteuid() == 0)
        {
            ASSERT_EQ (::chown (path.c_str(), 4321, 4322), 0);
        }
        std::string reason;
        ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, "new", &reason)) << reason;
        struct stat info {};
        ASSERT_EQ (::stat (path.c_str(), &info), 0);
        EXPECT_EQ (info.st_mode & 07777, mode) << std::oct << mode;
        if (::geteuid() == 0)
        {
            EXPECT_EQ (info.st_uid, 4321u);
            EXPECT_EQ (info.st_gid, 4322u);
        }
        EXPECT_EQ (vurtest::readFile (path), "new");
    }
    ::umask (old_mask);
}

TEST (AtomicFile, KilledWriterNeverLeavesAPartialFile)
{
    const std::string dir = vurtest::makeTempDir ("atomic-kill");
    const std::string path = dir + "/records.mc";
    ASSERT_TRUE (Ziz::sys::writeFileAtomically (path, version_text (0)));

    std::mt19937 random (std::random_device {}());
    std::uniform_int_distribution<int> delay_us (0, 40'000);
    unsigned next_version = 1;
    for (int round = 0; round < 20; ++round)
    {
        const unsigned first = next_version;
        next_version += 1000;
        const pid_t child = ::fork();
        ASSERT_GE (child, 0);
        if (child == 0)
        {
            for (unsigned k = first;; ++k)
                if (! Ziz::sys::writeFileAtomically (path, version_text (k)))
                    ::_exit (3);
        }
        ::usleep (static_cast<useconds_t> (delay_us (random)));
        ::kill (child, SIGKILL);
        int status = 0;
        ASSERT_EQ (::waitpid (child, &status, 0), child);
        ASSERT_TRUE (WIFSIGNALED (status)) << "writer failed, status " << status;

        const std::string content = vurtest::readFile (path);
        ASSERT_TRUE (is_whole_version (content))
            << "round " << round << ": " << content.size() << " bytes, starting "
            << content.substr (0, 40);
    }
}
#endif

#ifdef _WIN32
#include "src-base/platform/child_process.h"

#include <windows.h>

// A viewer, a backup or a virus scanner that opened the target without delete sharing: the replace fails at
// once (the caller keeps the data and tries again later; nothing waits here), leaves the old file and no
// temporary beside it, and succeeds as soon as the file is let go.
TEST (AtomicFile, ATargetHeldByAnotherProgramFailsAtOnceAndIsReplacedOnceReleased)
{
    const std::string dir = vurtest::makeTempDir ("atomic-held");
    const std::string target = dir + "\\7_012003.mc";
    const std::string ready = dir + "\\ready", release = dir + "\\release";
    vurtest::writeFile (target, "old");

    Ziz::sys::ChildProcess holder;
    const auto quoted = [] (const std::string& text) { return "\"" + text + "\""; };
    ASSERT_TRUE (holder.start (quoted (VUR_TEST_CHILD) + " --hold " + quoted (target) + " --ready " + quoted (ready) + " --until "
                                   + quoted (release), {}));
    for (int i = 0; i < 3000 && ! fs::exists (ready); ++i)
        Sleep (10);
    ASSERT_TRUE (fs::exists (ready));

    std::string reason;
    EXPECT_FALSE (Ziz::sys::writeFileAtomically (target, "new", &reason));
    EXPECT_EQ (reason.rfind ("cannot replace \"" + target + "\": ", 0), 0u) << reason;
    EXPECT_EQ (vurtest::readFile (target), "old");
    EXPECT_EQ (entries_in (dir), 2u);

    vurtest::writeFile (release, "");
    EXPECT_EQ (holder.waitForExit(), 0u);
    holder.release();
    EXPECT_TRUE (Ziz::sys::writeFileAtomically (target, "new", &reason)) << reason;
    EXPECT_EQ (vurtest::readFile (target), "new");
}
#endif
