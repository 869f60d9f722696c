#pragma once

// Web requests through the external downloader (curl), run as a hidden child process.

#include <string>

// The response body of url as raw bytes: whatever the downloader wrote, also a server's error page; empty
// when nothing arrived. Failures are logged, never thrown; the call blocks for up to about 60 seconds.
std::string fetch_url (const std::string& url);
