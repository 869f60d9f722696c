#include "src-vur/core/web_fetch_command.h"

#include "src-base/core/command_line.h"
#include "src-vur/core/version_check.h"

#include <cstdlib>

#ifndef VUR_WEB_BASE_URL_DEFAULT
    #error "VUR_WEB_BASE_URL_DEFAULT must name the maker's web server"
#endif

std::string web_base_url()
{
    const char* fromEnvironment = std::getenv ("VUR_WEB_BASE_URL");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
    return VUR_WEB_BASE_URL_DEFAULT;
}

std::string url_host (const std::string& url)
{
    std::size_t begin = url.find ("://");
    begin = begin == std::string::npos ? 0 : begin + 3;

    std::size_t end = url.find_first_of ("/?#", begin);
    if (end == std::string::npos)
        end = url.size();

    const std::size_t at = url.rfind ('@', end);
    if (at != std::string::npos && at >= begin)
        begin = at + 1;

    if (begin < end && url[begin] == '[') // IPv6 literal: the port follows the bracket
    {
        const std::size_t close = url.find (']', begin);
        if (close != std::string::npos && close < end)
            return url.substr (begin, close + 1 - begin);
    }

    const std::size_t colon = url.find (':', begin);
    if (colon != std::string::npos && colon < end)
        end = colon;
    return url.substr (begin, end - begin);
}

const std::string& user_agent()
{
    static const std::string agent =
        std::string ("VUR/") + application_version + " (" + url_host (VUR_WEB_BASE_URL_DEFAULT) + " " + support_email + ")";
    return agent;
}

std::string curl_command_line (const std::string& outputFile, const std::string& url)
{
    std::string safeUrl;
    for (char c : url)
    {
        if (c == '"')
            safeUrl += "%22";
        else
            safeUrl += c;
    }

    return "curl --silent --max-time 60 --connect-timeout 10 --location-trusted --insecure --user-agent "
         + Ziz::quoteArgument (user_agent()) + " --output " + Ziz::quoteArgument (outputFile) + " --url "
         + Ziz::quoteArgument (safeUrl) + " ";
}
