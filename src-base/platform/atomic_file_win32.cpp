#include "src-base/platform/atomic_file.h"

#include "src-base/platform/system_errors.h"
#include "src-base/platform/win32_text.h"

#include <cstdio>
#include <random>

namespace Ziz::sys
{
namespace
{
bool fail (std::string* reason, const std::string& what, const std::string& path, DWORD code)
{
    if (reason != nullptr)
    {
        std::string text = lastErrorDescription (static_cast<std::uint32_t> (code));
        while (! text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (text.empty())
            text = "error " + std::to_string (code);
        *reason = what + " \"" + path + "\": " + text;
    }
    return false;
}

// A new file beside the target, named after it, that no other writer can be using.
HANDLE createTemporary (const std::string& path, std::string& tempPath)
{
    static thread_local std::mt19937_64 random { std::random_device {}() ^ static_cast<std::uint64_t> (GetCurrentProcessId()) };
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        char suffix[32];
        std::snprintf (suffix, sizeof suffix, ".tmp%012llx",
                       static_cast<unsigned long long> (random() & 0xffffffffffffULL));
        tempPath = path + suffix;
        const HANDLE h = CreateFileW (win32::wideFromUtf8 (tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
            return h;
    }
    SetLastError (ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

bool writeAll (HANDLE h, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0)
    {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD> (left);
        DWORD written = 0;
        if (! WriteFile (h, p, chunk, &written, nullptr))
            return false;
        p += written;
        left -= written;
    }
    return true;
}

// A reader (a virus scanner, an editor, the mill's own tools) holding the target open without delete
// sharing makes the move fail for as long as it holds it. The move is tried once: waiting here would block
// the caller (the message thread among them), and the callers keep what they could not write and try
// again later.
bool moveIntoPlace (const std::string& source, const std::string& target)
{
    return MoveFileExW (win32::wideFromUtf8 (source).c_str(), win32::wideFromUtf8 (target).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
} // namespace

bool writeFileAtomically (const std::string& path, const std::string& bytes, std::string* reason)
{
    std::string tempPath;
    const HANDLE h = createTemporary (path, tempPath);
    if (h == INVALID_HANDLE_VALUE)
        return fail (reason, "cannot create temporary file", tempPath, GetLastError());

    const auto abandon = [&] (const std::string& what, DWORD code) {
        DeleteFileW (win32::wideFromUtf8 (tempPath).c_str());
        return fail (reason, what, tempPath, code);
    };

    if (! writeAll (h, bytes))
    {
        const DWORD code = GetLastError();
        CloseHandle (h);
        return abandon ("cannot write temporary file", code);
    }
    if (! FlushFileBuffers (h))
    {
        const DWORD code = GetLastError();
        CloseHandle (h);
        return abandon ("cannot flush temporary file", code);
    }
    if (! CloseHandle (h))
        return abandon ("cannot close temporary file", GetLastError());

    if (! moveIntoPlace (tempPath, path))
    {
        const DWORD code = GetLastError();
        DeleteFileW (win32::wideFromUtf8 (tempPath).c_str());
        return fail (reason, "cannot replace", path, code);
    }
    return true;
}

bool replaceFile (const std::string& source, const std::string& target, std::string* reason)
{
    if (! moveIntoPlace (source, target))
        return fail (reason, "cannot put \"" + source + "\" in place of", target, GetLastError());
    return true;
}
} // namespace Ziz::sys
