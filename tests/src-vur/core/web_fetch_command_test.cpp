#include "src-vur/core/web_fetch_command.h"

#include "src-base/core/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// An empty value removes the variable on Windows, so both mean "not set" there.
void setVariable (const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s (name, value != nullptr ? value : "");
#else
    if (value != nullptr)
        setenv (name, value, 1);
    else
        unsetenv (name);
#endif
}

TEST (WebFetchCommand, CommandLineNamesEveryOptionAndQuotesItsTexts)
{
    const std::string agent = user_agent();
    EXPECT_EQ (agent, std::string ("VUR/1.0.0-2718 (") + url_host (VUR_WEB_BASE_URL_DEFAULT) + " support@dadovir-moisture.example)");

    const std::string command = curl_command_line (R"(C:\Users\op\AppData\Local\Temp\temp_4f1a9c2e.vur.out)",
                                                   "http://www.dadovir-moisture.example/vur/download/?C=M;O=D");
    EXPECT_EQ (command, "curl --silent --max-time 60 --connect-timeout 10 --location-trusted --insecure --user-agent \""
                            + agent
                            + "\" --output \"C:\\Users\\op\\AppData\\Local\\Temp\\temp_4f1a9c2e.vur.out\" --url "
                              "\"http://www.dadovir-moisture.example/vur/download/?C=M;O=D\" ");

    // Split as the child sees it: the agent, the path and the URL arrive whole.
    const std::vector<std::string> expected { "curl", "--silent", "--max-time", "60", "--connect-timeout", "10",
                                              "--location-trusted", "--insecure", "--user-agent", agent, "--output",
                                              "/tmp/a b/temp_1.vur.out", "--url", "http://h/x" };
    EXPECT_EQ (Ziz::splitCommandLine (curl_command_line ("/tmp/a b/temp_1.vur.out", "http://h/x")), expected);

    // A quote in the URL cannot end the quoted part and smuggle in options.
    const auto split = Ziz::splitCommandLine (curl_command_line ("/t/o", "http://h/\" --output \"/etc/x"));
    EXPECT_EQ (split.size(), 14u);
    EXPECT_EQ (split.back(), "http://h/%22 --output %22/etc/x");
}

TEST (WebFetchCommand, AwkwardPathsAndUrlsReachTheDownloaderWhole)
{
    struct Case
    {
        const char* what;
        std::string output;
        std::string url;
    };
    const Case cases[] = {
        { "folder path with a trailing backslash", R"(C:\Temp\)", "http://h/x" },
        { "two trailing backslashes", R"(C:\Temp\\)", "http://h/x" },
        { "URL ending in a backslash", "/t/o", R"(http://h/x\)" },
        { "backslash in front of a quote", R"(C:\a\"b)", R"(http://h/\)" },
        { "blanks", R"(C:\Documents and Settings\op\temp_1.vur.out)", "http://h/a b" },
        { "empty", "", "" },
    };
    for (const auto& c : cases)
    {
        const std::vector<std::string> expected { "curl", "--silent", "--max-time", "60", "--connect-timeout", "10",
                                                  "--location-trusted", "--insecure", "--user-agent", user_agent(),
                                                  "--output", c.output, "--url", c.url };
        EXPECT_EQ (Ziz::splitCommandLine (curl_command_line (c.output, c.url)), expected) << c.what;
    }
}

TEST (WebFetchCommand, HostOfAUrl)
{
    struct Case
    {
        const char* url;
        const char* host;
    };
    const Case cases[] = {
        { "http://www.dadovir-moisture.example", "www.dadovir-moisture.example" },
        { "http://127.0.0.1:8080/vur/motd.txt", "127.0.0.1" },
        { "https://user:pw@example.org:443/a?b=c@d", "example.org" },
        { "http://[::1]:8080/", "[::1]" },
        { "example.net/path", "example.net" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (url_host (c.url), c.host) << c.url;
}

TEST (WebFetchCommand, BaseUrlFromTheEnvironmentWhenSet)
{
    setVariable ("VUR_WEB_BASE_URL", nullptr);
    EXPECT_EQ (web_base_url(), VUR_WEB_BASE_URL_DEFAULT);
    setVariable ("VUR_WEB_BASE_URL", "");
    EXPECT_EQ (web_base_url(), VUR_WEB_BASE_URL_DEFAULT);
    setVariable ("VUR_WEB_BASE_URL", "http://127.0.0.1:4711");
    EXPECT_EQ (web_base_url(), "http://127.0.0.1:4711");
    EXPECT_EQ (web_base_url() + motd_path, "http://127.0.0.1:4711/vur/motd.txt");
    setVariable ("VUR_WEB_BASE_URL", nullptr);
}
} // namespace
