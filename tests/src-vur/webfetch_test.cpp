#include "src-vur/webfetch.h"

#include "src-base/platform/child_process.h"
#include "src-log/log.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
// A port on the loopback interface that nobody listens on right now.
int freePort()
{
    juce::StreamingSocket probe;
    if (! probe.createListener (0, "127.0.0.1"))
        return -1;
    return probe.getBoundPort();
}


std::string logText() { return vurtest::readTextFile (get_log_filename()); }

// The messages of the log lines written after offset, without their timestamps.
std::vector<std::string> logMessagesSince (std::size_t offset)
{
    const std::string text = logText();
    std::istringstream lines (offset < text.size() ? text.substr (offset) : std::string());
    std::vector<std::string> messages;
    for (std::string line; std::getline (lines, line);)
    {
        // "Wed 2024-05-01 10:00:00 message": the message follows the third blank.
        std::size_t at = 0;
        for (int blanks = 0; blanks < 3 && at != std::string::npos; ++blanks)
            at = line.find (' ', at == 0 ? 0 : at + 1);
        if (at != std::string::npos)
            messages.push_back (line.substr (at + 1));
    }
    return messages;
}

juce::Array<juce::File> leftOverOutputFiles()
{
    return juce::File::getSpecialLocation (juce::File::tempDirectory)
        .findChildFiles (juce::File::findFiles, false, "temp_*.vur.out");
}

using EnvironmentVariable = vurtest::ScopedEnv;

#ifndef _WIN32
bool answers (int port)
{
    juce::StreamingSocket socket;
    return socket.connect ("127.0.0.1", port, 200);
}

// Fetches from a web server on the loopback interface. The test machines have curl and a server only on
// their POSIX side (Wine has no curl.exe); the Windows build runs the missing-downloader case below.
class WebFetch : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        siteDir = vurtest::makeTempDir ("site");
        juce::File site (siteDir);
        site.getChildFile ("vur").createDirectory();
        const std::string body ("Fresh coffee in the break room.\r\n\0binary\xff tail", 46);
        vurtest::writeFile (siteDir + "/vur/motd.txt", body);

        port = freePort();
        ASSERT_GT (port, 0);
        server = std::make_unique<Ziz::sys::ChildProcess>();
        ASSERT_TRUE (server->start ("python3 -m http.server --bind 127.0.0.1 " + std::to_string (port) + " --directory \""
                                        + siteDir + "\"",
                                    {}))
            << "python3: error " << server->lastError();

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (20);
        while (! answers (port) && ! server->hasEnded() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for (std::chrono::milliseconds (50));
        ASSERT_TRUE (answers (port)) << "the test web server did not come up";
    }

    static void TearDownTestSuite()
    {
        if (server != nullptr)
            server->kill();
        server.reset();
    }

    void TearDown() override { EXPECT_TRUE (leftOverOutputFiles().isEmpty()) << "an output file was left behind"; }

    static std::string base() { return "http://127.0.0.1:" + std::to_string (port); }

    static inline std::string siteDir;
    static inline int port = 0;
    static inline std::unique_ptr<Ziz::sys::ChildProcess> server;
};

TEST_F (WebFetch, ServedFileComesBackByteForByte)
{
    const std::size_t offset = logText().size();
    const std::string url = base() + "/vur/motd.txt";

    EXPECT_EQ (fetch_url (url), std::string ("Fresh coffee in the break room.\r\n\0binary\xff tail", 46));

    const auto messages = logMessagesSince (offset);
    ASSERT_EQ (messages.size(), 1u) << logText().substr (offset);
    EXPECT_EQ (messages[0].rfind ("external command: curl --silent --max-time 60 --connect-timeout 10 --location-trusted "
                                  "--insecure --user-agent \"VUR/1.0.0-2718 (",
                                  0),
               0u)
        << messages[0];
    EXPECT_NE (messages[0].find (".vur.out\" --url \"" + url + "\" "), std::string::npos) << messages[0];
}

// Whatever a server or a proxy sends, the load thread holds no more of it than any reply needs.
TEST_F (WebFetch, ALongReplyIsCutAndTheCutLogged)
{
    const std::string big (3 * max_reply_bytes, 'x');
    vurtest::writeFile (siteDir + "/vur/big.txt", big);
    const std::size_t offset = logText().size();
    const std::string url = base() + "/vur/big.txt";

    EXPECT_EQ (fetch_url (url), std::string (max_reply_bytes, 'x'));
    const auto messages = logMessagesSince (offset);
    ASSERT_EQ (messages.size(), 2u) << logText().substr (offset);
    EXPECT_EQ (messages[1], "the reply to " + url + " is longer than 1048576 bytes; the rest is left out");
}

TEST_F (WebFetch, ErrorPageComesBackAsText)
{
    const std::size_t offset = logText().size();
    const std::string page = fetch_url (base() + "/vur/download/motd.txt");

    EXPECT_NE (page.find ("404"), std::string::npos) << page;
    EXPECT_EQ (logMessagesSince (offset).size(), 1u) << "curl ends with 0 on an error page";
}

TEST_F (WebFetch, ServerDownGivesEmptyTextAndTheExitCode)
{
    const std::size_t offset = logText().size();
    EXPECT_EQ (fetch_url ("http://127.0.0.1:" + std::to_string (freePort()) + "/vur/motd.txt"), "");

    const auto messages = logMessagesSince (offset);
    ASSERT_EQ (messages.size(), 2u) << logText().substr (offset);
    const std::string command = messages[0].substr (std::string ("external command: ").size());
    EXPECT_EQ (messages[1], "rc=7 when running: " + command) << "7: curl could not connect";
}

#endif

// On Windows this needs a system without curl.exe in its system folders, which are searched before PATH.
TEST (WebFetchWithoutDownloader, IsLoggedWithTheSystemsReason)
{
    const std::string emptyFolder = vurtest::makeTempDir ("no-curl");
    const std::size_t offset = logText().size();
    std::string body;
    {
        const EnvironmentVariable searchPath ("PATH", emptyFolder);
        body = fetch_url ("http://127.0.0.1:" + std::to_string (freePort()) + "/vur/motd.txt");
    }
    EXPECT_EQ (body, "");

    const auto messages = logMessagesSince (offset);
    ASSERT_EQ (messages.size(), 3u) << logText().substr (offset);
    const std::string command = messages[0].substr (std::string ("external command: ").size());
    Ziz::sys::ChildProcess missing;
    missing.start ("vur-no-such-program", {});
    EXPECT_EQ (messages[1], "curl: received error #2: " + missing.lastErrorText());
    EXPECT_EQ (messages[2], "rc=2 when running: " + command);
    EXPECT_TRUE (leftOverOutputFiles().isEmpty()) << "an output file was left behind";
}
} // namespace
