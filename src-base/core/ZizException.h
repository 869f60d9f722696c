#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace Ziz
{
// The one exception type of the system's own code, and the record in which every caught failure is
// reported. It captures errno, the operating system's last error and a backtrace when it is built.
class Exception : public std::exception
{
public:
    Exception();
    Exception (const std::string& function, const std::string& sourceFile, int line, const std::string& message);
    Exception (const std::string& function, const std::string& sourceFile, int line, const std::exception& caught);

    ~Exception() override;
    const char* what() const noexcept override;
    virtual std::string report() const;

    std::vector<std::string> backtrace;
    std::string errorType;
    std::string errorText;
    bool reportPending = false;
    std::string functionName;
    std::string sourceFileName;
    std::int32_t lineNumber = 0;
    std::int32_t previousErrno = 0;
    std::uint32_t otherError = 0;

protected:
    void init (const std::string& function, const std::string& sourceFile, int line, const std::string& typeName,
               const std::string& message);
};

// The support contact named in reports and message boxes.
std::string supportContact();

// A source file name without everything before its third path separator (a leading one does not count).
std::string shortenSourceFileName (const std::string& name);
} // namespace Ziz

// Builds a Ziz::Exception that names the calling function and its source position.
#define ZIZ_EXCEPTION(function, message) ::Ziz::Exception ((function), __FILE__, __LINE__, (message))
