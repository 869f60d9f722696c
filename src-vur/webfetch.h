#pragma once

// Web requests through the external downloader (curl), run as a hidden child process.

#include <string>

#include <cstddef>

// No reply the system asks for comes near this: a longer one is cut here, whatever a server or a proxy sends.
inline constexpr std::size_t max_reply_bytes = 1048576;

// The response body of url as raw bytes: whatever the downloader wrote, also a server's error page, at
// most max_reply_bytes of it; empty when nothing arrived. Failures are logged, never thrown; the call
// blocks for up to about 60 seconds.
std::string fetch_url (const std::string& url);
