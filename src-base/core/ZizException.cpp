#include "src-base/core/ZizException.h"

#include "src-base/core/ZizString.h"
#include "src-base/core/error_facts.h"

#include <cerrno>
#include <cstdio>
#include <typeinfo>

namespace Ziz
{
namespace
{
std::string padLabel (const std::string& label)
{
    std::string out (label);
    if (out.size() < 20)
        out.append (20 - out.size(), ' ');
    return out;
}
} // namespace

std::string supportContact() { return "Dana Voss (support@dadovir-moisture.example)"; }

std::string shortenSourceFileName (const std::string& name)
{
    int separators = 0;
    for (std::size_t i = 1; i < name.size(); ++i)
    {
        if (name[i] == '/' || name[i] == '\\')
        {
            if (++separators == 3)
                return name.substr (i);
        }
    }
    return name;
}

Exception::Exception() = default;

Exception::Exception (const std::string& function, const std::string& sourceFile, int line, const std::string& message)
{
    // errno and the last error are taken before anything else can change them.
    const int savedErrno = errno;
    const std::uint32_t savedOther = errorFacts().lastErrorCode();
    previousErrno = savedErrno;
    otherError = savedOther;
    init (function, sourceFile, line, errorFacts().readableTypeName (typeid (Exception)), message);
}

Exception::Exception (const std::string& function, const std::string& sourceFile, int line, const std::exception& caught)
{
    const int savedErrno = errno;
    const std::uint32_t savedOther = errorFacts().lastErrorCode();
    previousErrno = savedErrno;
    otherError = savedOther;
    init (function, sourceFile, line, errorFacts().readableTypeName (typeid (caught)), caught.what());
}

Exception::~Exception() = default;

void Exception::init (const std::string& function, const std::string& sourceFile, int line, const std::string& typeName,
                      const std::string& message)
{
    // Skips this step and the constructor.
    backtrace = errorFacts().captureBacktrace (2, 20);
    errorType = typeName;
    errorText = trim (message);
    reportPending = true;
    functionName = function;
    sourceFileName = sourceFile;
    lineNumber = line;

    const std::string text = "P=2, M=" + report() + "\n";
    std::fwrite (text.data(), 1, text.size(), stdout);
    std::fflush (stdout);
}

const char* Exception::what() const noexcept { return errorText.c_str(); }

std::string Exception::report() const
{
    std::string r;
    r += "An error occurred.\n";
    r += "Please try again, or contact " + supportContact() + " for assistance.\n\n";

    r += padLabel ("The error type is:") + errorType;
    const std::string ownType = errorFacts().readableTypeName (typeid (*this));
    if (errorType != ownType)
        r += " [" + ownType + "]";
    r += "\n";

    const std::string text = trim (errorText);
    r += padLabel ("The error text is:");
    if (text.find ('\n') != std::string::npos)
        r += "\n";
    r += text + "\n";

    if (previousErrno != 0)
    {
        std::string description = trim (errorFacts().errnoDescription (previousErrno));
        if (description.empty())
            description = "unknown error #" + std::to_string (previousErrno);
        r += padLabel ("Previous errno:") + std::to_string (previousErrno) + " [" + description + "]\n";
    }

    if (otherError != 0)
    {
        std::string description = trim (errorFacts().lastErrorDescription (otherError));
        if (description.empty())
            description = "unknown error #" + std::to_string (otherError);
        r += padLabel ("Other error:") + std::to_string (static_cast<std::int32_t> (otherError)) + " [" + description + "]\n";
    }

    if (! sourceFileName.empty())
    {
        r += padLabel ("Source file name:") + shortenSourceFileName (sourceFileName);
        if (lineNumber > 0)
            r += ", #" + std::to_string (lineNumber);
        r += "\n";
    }

    if (! functionName.empty())
        r += padLabel ("Function name:") + functionName + "\n";

    std::vector<std::string> frames = backtrace;
    if (frames.empty())
        frames = errorFacts().captureBacktrace (2, 20);
    if (! frames.empty())
    {
        r += "\nThe backtrace is:\n";
        for (const auto& frame : frames)
            r += "    " + frame + "\n";
    }
    return r;
}
} // namespace Ziz
