#pragma once

// The maker's web server and the downloader command line that fetches from it.

#include <string>

inline constexpr const char* download_listing_path = "/vur/download/?C=M;O=D"; // newest first
inline constexpr const char* motd_path = "/vur/motd.txt";
inline constexpr const char* motd_second_path = "/vur/download/motd.txt";

inline constexpr const char* support_email = "support@dadovir-moisture.example";

// Scheme, host and port of the maker's web server: VUR_WEB_BASE_URL from the environment when set and not
// empty, otherwise the one this build was made with.
std::string web_base_url();

// The host name of a URL (no scheme, user, port or path): "www.example.com" for
// "http://user@www.example.com:8080/x".
std::string url_host (const std::string& url);

// "VUR/1.0.0-2718 (<host of the built-in web server> <support e-mail>)". One constant: a server chosen
// through the environment does not change it.
const std::string& user_agent();

// The downloader's command line: the response body of url goes to outputFile. The agent, the file and the
// URL are each quoted so that the downloader receives them exactly (a path ending in a backslash included);
// a double quote inside the URL (which no valid URL holds) is sent as %22, as a URL spells it.
std::string curl_command_line (const std::string& outputFile, const std::string& url);
