#include "src-vur/webfetch.h"

#include "src-base/core/ZizString.h"
#include "src-base/platform/child_process.h"
#include "src-log/log.h"
#include "src-vur/core/web_fetch_command.h"

#include <juce_core/juce_core.h>

#include <cstdint>

namespace
{
// The downloader may leave a whole or partial body behind whatever happens; it never outlives the call.
struct DeleteOnExit
{
    const juce::File& file;
    ~DeleteOnExit() { file.deleteFile(); }
};
} // namespace

std::string fetch_url (const std::string& url)
{
    const juce::File output = juce::File::createTempFile ("vur.out");
    const DeleteOnExit cleanup { output };
    const std::string outputPath = output.getFullPathName().toStdString();

    const std::string command = curl_command_line (outputPath, url);
    log_line ("external command: " + command);

    Ziz::sys::ChildProcess curl;
    const bool started = curl.start (command, {});

    std::uint32_t rc = curl.lastError();
    if (rc != 0)
        log_line ("curl: received error #" + std::to_string (rc) + ": " + curl.lastErrorText());

    if (started)
    {
        // curl's own limits end it within about 60 seconds.
        rc = curl.waitForExit();
        curl.release();
    }

    if (rc != 0)
        log_line ("rc=" + std::to_string (rc) + " when running: " + command);

    std::string reply = Ziz::readFile (outputPath, max_reply_bytes + 1);
    if (reply.size() > max_reply_bytes)
    {
        reply.resize (max_reply_bytes);
        log_line ("the reply to " + url + " is longer than " + std::to_string (max_reply_bytes) + " bytes; the rest is left out");
    }
    return reply;
}
