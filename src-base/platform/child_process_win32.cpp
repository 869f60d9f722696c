#include "src-base/platform/child_process.h"

#include "src-base/platform/win32_text.h"

#include <utility>
#include <vector>

namespace Ziz::sys
{
namespace
{
// The job of the children that end with this process. Its handle is never closed: only the end of this
// process closes it, however the process ends, and the system then kills every process in the job.
// Null when the job could not be made.
HANDLE jobOfChildrenEndingWithParent()
{
    static const HANDLE job = []
    {
        HANDLE created = CreateJobObjectA (nullptr, nullptr);
        if (created == nullptr)
            return static_cast<HANDLE> (nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory (&limits, sizeof (limits));
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (! SetInformationJobObject (created, JobObjectExtendedLimitInformation, &limits, sizeof (limits)))
        {
            CloseHandle (created);
            return static_cast<HANDLE> (nullptr);
        }
        return created;
    }();
    return job;
}
} // namespace

// The process handle; none until a start succeeds.
struct ChildProcess::Impl
{
    HANDLE handle = nullptr;
};

ChildProcess::~ChildProcess() { release(); }

ChildProcess::ChildProcess() : impl (std::make_unique<Impl>()) {}

// The object moved from is left holding this one's empty state.
ChildProcess::ChildProcess (ChildProcess&& other) noexcept : ChildProcess() { *this = std::move (other); }

ChildProcess& ChildProcess::operator= (ChildProcess&& other) noexcept
{
    if (this != &other)
    {
        release();
        std::swap (impl, other.impl);
        error = other.error;
    }
    return *this;
}

bool ChildProcess::start (const std::string& commandLine, const Options& options)
{
    release();

    // CreateProcessA reads its texts in the code page, may write into the command line, and lpTitle is not
    // const either.
    const std::string commandText = win32::ansiFromUtf8 (commandLine);
    std::vector<char> command (commandText.begin(), commandText.end());
    command.push_back ('\0');
    const std::string titleText = win32::ansiFromUtf8 (options.consoleTitle);
    std::vector<char> title (titleText.begin(), titleText.end());
    title.push_back ('\0');

    STARTUPINFOA startup;
    ZeroMemory (&startup, sizeof (startup));
    startup.cb = sizeof (startup);
    if (! options.consoleTitle.empty())
        startup.lpTitle = title.data();
    if (options.consoleFillAttribute != 0)
    {
        startup.dwFillAttribute = options.consoleFillAttribute;
        startup.dwFlags |= STARTF_USEFILLATTRIBUTE;
    }

    PROCESS_INFORMATION info;
    ZeroMemory (&info, sizeof (info));

    DWORD flags = options.console == Console::ownWindow ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW;
    // A child bound to this process is put into the job before it runs a single instruction.
    HANDLE job = options.endWithParent ? jobOfChildrenEndingWithParent() : nullptr;
    if (job != nullptr)
        flags |= CREATE_SUSPENDED;
    const std::string folderText = win32::ansiFromUtf8 (options.workingDirectory);
    const char* folder = options.workingDirectory.empty() ? nullptr : folderText.c_str();

    SetLastError (0);
    const BOOL started = CreateProcessA (nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, folder,
                                         &startup, &info);
    error = GetLastError();
    if (! started)
        return false;

    if (job != nullptr)
    {
        // Where this process sits in a job that forbids another one, the child runs unbound rather than not
        // at all.
        AssignProcessToJobObject (job, info.hProcess);
        ResumeThread (info.hThread);
    }
    CloseHandle (info.hThread);
    impl->handle = info.hProcess;
    return true;
}

bool ChildProcess::isValid() const { return impl->handle != nullptr; }

std::string ChildProcess::lastErrorText() const
{
    if (error == 0)
        return {};

    char* buffer = nullptr;
    const DWORD length = FormatMessageA (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
                                             | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                         nullptr, error, MAKELANGID (LANG_NEUTRAL, SUBLANG_DEFAULT),
                                         reinterpret_cast<LPSTR> (&buffer), 0, nullptr);
    std::string text;
    if (buffer != nullptr)
    {
        text = win32::utf8FromAnsi (std::string (buffer, length));
        LocalFree (buffer);
    }
    // The system's messages end in CR LF; a log entry stays one line.
    while (! text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool ChildProcess::hasEnded()
{
    return impl->handle == nullptr || WaitForSingleObject (impl->handle, 0) == WAIT_OBJECT_0;
}

std::uint32_t ChildProcess::waitForExit()
{
    if (impl->handle == nullptr)
        return 0;

    WaitForSingleObject (impl->handle, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess (impl->handle, &code);
    return code;
}

void ChildProcess::kill()
{
    // Fails harmlessly for a process that has already ended; its exit code stays.
    if (impl->handle != nullptr)
        TerminateProcess (impl->handle, 0);
}

void ChildProcess::release()
{
    if (impl->handle != nullptr)
        CloseHandle (impl->handle);
    impl->handle = nullptr;
}

long long ChildProcess::processId() const
{
    return impl->handle != nullptr ? static_cast<long long> (GetProcessId (impl->handle)) : 0;
}

void ChildProcess::killChildrenEndingWithParent() noexcept
{
    if (HANDLE job = jobOfChildrenEndingWithParent())
        TerminateJobObject (job, 0);
}
} // namespace Ziz::sys
