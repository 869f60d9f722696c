#include "src-base/platform/atomic_file.h"

#include "src-base/platform/system_errors.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace Ziz::sys
{
namespace
{
bool fail (std::string* reason, const std::string& what, const std::string& path, int errorNumber)
{
    if (reason != nullptr)
        *reason = what + " \"" + path + "\": " + errnoDescription (errorNumber);
    return false;
}

std::string folderOf (const std::string& path)
{
    const auto slash = path.find_last_of ('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr (0, slash);
}

// The rename is only durable once the folder entry itself reaches the disk.
bool syncFolder (const std::string& folder, std::string* reason)
{
    const int fd = ::open (folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail (reason, "cannot open folder", folder, errno);
    int rc = ::fsync (fd);
    const int syncErrno = errno;
    ::close (fd);
    // Some file systems cannot sync a folder at all; the rename is then as durable as they make it.
    if (rc != 0 && syncErrno != EINVAL && syncErrno != ENOTSUP)
        return fail (reason, "cannot flush folder", folder, syncErrno);
    return true;
}

bool writeAll (int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0)
    {
        const ssize_t n = ::write (fd, p, left);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t> (n);
    }
    return true;
}

// A new file beside the target, named after it, that no other writer can be using.
int createTemporary (const std::string& path, std::string& tempPath)
{
    static thread_local std::mt19937_64 random { std::random_device {}() ^ static_cast<std::uint64_t> (::getpid()) };
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        char suffix[32];
        std::snprintf (suffix, sizeof suffix, ".tmp%012llx",
                       static_cast<unsigned long long> (random() & 0xffffffffffffULL));
        tempPath = path + suffix;
        // 0666 so that the umask, not this function, decides who may read the records.
        const int fd = ::open (tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// A file that replaces another keeps who may read and write it: an administrator who opened the shared
// configuration file to every operator's account (mode 0666) must not find it closed again by the first save,
// nor a record file handed to a group find it back with its writer's group. The owner follows only where
// this process may give it away (as root); otherwise the new file is the writer's, as any new file is.
void keepAccessOf (const std::string& path, int fd)
{
    struct stat target {};
    if (::stat (path.c_str(), &target) != 0 || ! S_ISREG (target.st_mode))
        return;
    // Each step is a courtesy: where one is refused, the file is written all the same.
    [[maybe_unused]] const int owned = ::fchown (fd, ::geteuid() == 0 ? target.st_uid : static_cast<uid_t> (-1), target.st_gid);
    [[maybe_unused]] const int moded = ::fchmod (fd, target.st_mode & 07777);
}
} // namespace

bool writeFileAtomically (const std::string& path, const std::string& bytes, std::string* reason)
{
    std::string tempPath;
    const int fd = createTemporary (path, tempPath);
    if (fd < 0)
        return fail (reason, "cannot create temporary file", tempPath, errno);

    const auto abandon = [&] (const std::string& what, int errorNumber) {
        ::unlink (tempPath.c_str());
        return fail (reason, what, tempPath, errorNumber);
    };
    keepAccessOf (path, fd);

    if (! writeAll (fd, bytes))
    {
        const int e = errno;
        ::close (fd);
        return abandon ("cannot write temporary file", e);
    }
    if (::fsync (fd) != 0)
    {
        const int e = errno;
        ::close (fd);
        return abandon ("cannot flush temporary file", e);
    }
    if (::close (fd) != 0)
        return abandon ("cannot close temporary file", errno);

    if (::rename (tempPath.c_str(), path.c_str()) != 0)
    {
        const int e = errno;
        ::unlink (tempPath.c_str());
        return fail (reason, "cannot replace", path, e);
    }
    return syncFolder (folderOf (path), reason);
}

bool replaceFile (const std::string& source, const std::string& target, std::string* reason)
{
    if (::rename (source.c_str(), target.c_str()) != 0)
        return fail (reason, "cannot put \"" + source + "\" in place of", target, errno);
    return syncFolder (folderOf (target), reason);
}
} // namespace Ziz::sys
