// The system calls behind output_system.h on Linux and other POSIX systems.
// Names are resolved by the system, once, when the target is opened; every
// later step works from that descriptor and its folder's.
#include "output_system.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace {

const char accessAcl[] = "system.posix_acl_access";

// A call that a stop signal may interrupt is made again.
template <typename Call>
auto retried(Call call)
{
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

int failure()
{
    return errno != 0 ? errno : EIO;
}

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        (void)close(fd);  // only read, or already flushed through a stream of its own
    fd = -1;
}

std::string folderPart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string basePart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sameFile(const struct stat& one, const struct stat& other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// N when `path` is entry N of this process's descriptor folder
// (/proc/self/fd, which /dev/fd leads to), else -1.
int descriptorNumberIn(const std::string& path)
{
    const std::string base = basePart(path);
    if (base.empty() || base.size() > 9 || base.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const std::string folder = folderPart(path);
    char* real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (real == nullptr)
        return -1;
    const bool ours = std::string(real) == "/proc/" + std::to_string(getpid()) + "/fd";
    std::free(real);
    return ours ? static_cast<int>(std::strtol(base.c_str(), nullptr, 10)) : -1;
}

std::string readLink(const std::string& path)
{
    std::string link(4096, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0)
            return "";
        if (static_cast<std::size_t>(length) < link.size()) {
            link.resize(static_cast<std::size_t>(length));
            return link;
        }
        link.resize(link.size() * 2);
    }
}

// A name beside the target that says what it is: ".font.bin.x7Qa2Z". A long
// name is shortened, at a character boundary, to stay within NAME_MAX.
std::string temporaryCandidate(const std::string& base)
{
    static std::mt19937_64 random = [] {
        std::random_device device;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return std::mt19937_64((std::uint64_t{device()} << 32) ^ now ^ static_cast<std::uint64_t>(getpid()));
    }();
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string shortened = base;
    if (shortened.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(shortened[cut]) & 0xC0) == 0x80)
            --cut;  // not inside a UTF-8 sequence
        shortened.resize(cut);
    }
    std::string name = "." + shortened + ".";
    for (int i = 0; i < 6; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

bool isPermissionRefusal(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

bool folderIsAppendOnly(int folder)
{
#if defined(__linux__) && defined(FS_IOC_GETFLAGS)
    int flags = 0;
    return ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
#else
    (void)folder;
    return false;
#endif
}

// Links the unnamed temporary file into the folder as `name`; without the
// right to link by descriptor, through its /proc name.
int linkTemporary(const OutputHandles& handles, const std::string& name)
{
#ifdef AT_EMPTY_PATH
    if (linkat(handles.temporary, "", handles.folder, name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL)
        return failure();
#endif
    const std::string self = "/proc/self/fd/" + std::to_string(handles.temporary);
    return linkat(AT_FDCWD, self.c_str(), handles.folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : failure();
}

// Every signal that can be held is held while a name and a rename are in
// flight, so that an interrupted run does not leave the name behind.
struct SignalsHeld {
    sigset_t previous{};
    SignalsHeld()
    {
        sigset_t all;
        sigfillset(&all);
        (void)sigprocmask(SIG_BLOCK, &all, &previous);  // without it the window is only wider
    }
    ~SignalsHeld() { (void)sigprocmask(SIG_SETMASK, &previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

std::vector<std::string> attributeNames(int fd, int& error)
{
    error = 0;
    for (;;) {
        const ssize_t size = flistxattr(fd, nullptr, 0);
        if (size < 0) {
            if (errno != ENOTSUP)
                error = failure();
            return {};
        }
        std::string list(static_cast<std::size_t>(size), '\0');
        const ssize_t got = flistxattr(fd, list.data(), list.size());
        if (got < 0 && errno == ERANGE)
            continue;  // grew meanwhile
        if (got < 0) {
            error = failure();
            return {};
        }
        std::vector<std::string> names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const std::size_t end = list.find('\0', at);
            names.push_back(list.substr(at, end - at));
            at = end + 1;
        }
        return names;
    }
}

// The value of attribute `name`; `error` ENODATA when it went meanwhile.
std::string attributeValue(int fd, const std::string& name, int& error)
{
    error = 0;
    for (;;) {
        const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
        if (size < 0) {
            error = failure();
            return "";
        }
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t got = fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return value;
        }
        if (errno != ERANGE) {
            error = failure();
            return "";
        }
    }
}

bool cannotGive(int error)
{
    // ENOTSUP and EOPNOTSUPP are one value on Linux.
    return error == EPERM || error == EACCES || error == ENOTSUP || error == E2BIG || error == ERANGE ||
           error == EINVAL;
}

int writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = retried([&] { return write(fd, bytes, size); });
        if (written <= 0)
            return written < 0 ? failure() : EIO;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

int findNamedDescriptor(const OutputHandles& handles, int& descriptor)
{
    descriptor = -1;
    std::string path = handles.name;
    for (int hop = 0; hop < 40; ++hop) {
        const int number = descriptorNumberIn(path);
        if (number >= 0) {
            const int flags = fcntl(number, F_GETFL);
            const int access = flags & O_ACCMODE;
            if (flags < 0 || (access != O_WRONLY && access != O_RDWR))
                return 0;  // not open for writing: the name is opened as any other
            // The system follows the links once more, with its own rules for
            // links in sticky folders, and must arrive at the same file.
            const int probe = retried([&] { return open(handles.name.c_str(), O_PATH | O_CLOEXEC); });
            if (probe < 0)
                return failure();
            struct stat named {};
            struct stat held {};
            const bool same = fstat(probe, &named) == 0 && fstat(number, &held) == 0 && sameFile(named, held);
            (void)close(probe);
            if (same)
                descriptor = number;
            return 0;
        }
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        std::string link = readLink(path);
        if (link.empty())
            return 0;
        if (link[0] != '/')
            link.insert(0, folderPart(path));
        path = link;
    }
    return 0;
}

int openTarget(OutputHandles& handles, TargetKind& kind)
{
    const char* name = handles.name.c_str();
    // Whether there is a file, without opening it for writing yet (a FIFO
    // would wait for a reader before its open could be refused).
    int existing = retried([&] { return open(name, O_PATH | O_CLOEXEC); });
    if (existing < 0) {
        if (errno != ENOENT)
            return failure();
        // A link that leads nowhere yet: "wb" creates the file it leads to,
        // where the system allows it.
        struct stat status {};
        if (lstat(name, &status) != 0 || !S_ISLNK(status.st_mode)) {
            kind = TargetKind::Missing;
            return 0;
        }
    }
    closeDescriptor(existing);
    // Opened as "wb" opens it, less the cut: the rules for links, files and
    // FIFOs planted in sticky folders apply to an open that may create.
    handles.target = retried([&] { return open(name, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666); });
    if (handles.target < 0)
        return failure();
    struct stat status {};
    if (fstat(handles.target, &status) != 0)
        return failure();
    kind = !S_ISREG(status.st_mode) ? TargetKind::Other
           : status.st_nlink > 1    ? TargetKind::SeveralLinks
                                    : TargetKind::Regular;
    return 0;
}

int openFolder(OutputHandles& handles, TargetKind kind, bool& found)
{
    found = false;
    handles.folderName = folderPart(handles.name);
    handles.targetBase = basePart(handles.name);
    if (handles.targetBase.empty())
        return 0;  // "name/": "wb" says what it is
    struct stat target {};
    if (kind == TargetKind::Regular && fstat(handles.target, &target) != 0)
        return failure();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const char* folder = handles.folderName.empty() ? "." : handles.folderName.c_str();
        closeDescriptor(handles.folder);
        handles.folder = retried([&] { return open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (handles.folder < 0 && errno == EACCES)
            handles.folder = retried([&] { return open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC); });
        if (handles.folder < 0)
            return failure();
        if (kind == TargetKind::Missing) {
            found = true;
            break;
        }
        // The name as given may be a link; the file's own folder is then
        // where the system found it.
        struct stat named {};
        if (fstatat(handles.folder, handles.targetBase.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(named, target)) {
            found = true;
            break;
        }
        const std::string real = readLink("/proc/self/fd/" + std::to_string(handles.target));
        if (attempt > 0 || real.empty() || real[0] != '/')
            return 0;
        handles.folderName = folderPart(real);
        handles.targetBase = basePart(real);
    }
    handles.appendOnlyFolder = folderIsAppendOnly(handles.folder);
    return 0;
}

int createTemporary(OutputHandles& handles, bool forNewFile, Temporary& result)
{
    // The system gives a new file the folder's default ACL, or the mode
    // less the umask; a file that replaces another gets its attributes
    // later, and until then nobody else may open it.
    const mode_t mode = forNewFile ? 0666 : 0600;
    result = Temporary::Created;
#ifdef O_TMPFILE
    handles.temporary = retried([&] { return openat(handles.folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode); });
    if (handles.temporary >= 0)
        return 0;
    if (isPermissionRefusal(errno)) {
        result = Temporary::Refused;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return failure();
#endif
    // A named file in an append-only folder could never be removed.
    if (handles.appendOnlyFolder) {
        result = Temporary::Refused;
        return 0;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryCandidate(handles.targetBase);
        handles.temporary = retried([&] {
            return openat(handles.folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (handles.temporary >= 0) {
            handles.temporaryName = name;
            return 0;
        }
        if (isPermissionRefusal(errno)) {
            result = Temporary::Refused;
            return 0;
        }
        if (errno != EEXIST)
            return failure();
    }
    return EEXIST;
}

int keepAttributes(OutputHandles& handles, Attributes& result)
{
    result = Attributes::CannotKeep;
    struct stat target {};
    struct stat temporary {};
    if (fstat(handles.target, &target) != 0 || fstat(handles.temporary, &temporary) != 0)
        return failure();
    // Owner first: changing it clears set-id bits and file capabilities.
    if (target.st_uid != temporary.st_uid || target.st_gid != temporary.st_gid) {
        if (fchown(handles.temporary, target.st_uid, target.st_gid) != 0)
            return cannotGive(errno) ? 0 : failure();
    }
    int error = 0;
    const std::vector<std::string> names = attributeNames(handles.target, error);
    if (error != 0)
        return error;
    bool hasAcl = false;
    for (const std::string& name : names) {
        const std::string value = attributeValue(handles.target, name, error);
        if (error == ENODATA)
            continue;  // removed meanwhile
        if (error != 0)
            return cannotGive(error) ? 0 : error;
        if (fsetxattr(handles.temporary, name.c_str(), value.data(), value.size(), 0) != 0)
            return cannotGive(errno) ? 0 : failure();
        hasAcl = hasAcl || name == accessAcl;
    }
    // A folder's default ACL reaches only new files.
    if (!hasAcl && fremovexattr(handles.temporary, accessAcl) != 0 && errno != ENODATA && errno != ENOTSUP)
        return cannotGive(errno) ? 0 : failure();
    // Last, after every write: a write clears set-id bits.
    if (fchmod(handles.temporary, target.st_mode & 07777) != 0)
        return cannotGive(errno) ? 0 : failure();
    // The system drops a set-group-ID bit it does not grant.
    if (fstat(handles.temporary, &temporary) != 0)
        return failure();
    if ((temporary.st_mode & 07777) == (target.st_mode & 07777))
        result = Attributes::Kept;
    return 0;
}

int replaceTarget(OutputHandles& handles, Placed& result)
{
    result = Placed::Refused;
    if (handles.appendOnlyFolder)
        return 0;  // the old name could not be removed
    const char* target = handles.targetBase.c_str();
    SignalsHeld held;
    const bool unnamed = handles.temporaryName.empty();
    for (int attempt = 0; unnamed; ++attempt) {
        const std::string name = temporaryCandidate(handles.targetBase);
        const int error = linkTemporary(handles, name);
        if (error == 0) {
            handles.temporaryName = name;
            break;
        }
        if (error != EEXIST || attempt == 100)
            return error;
    }
    if (renameat(handles.folder, handles.temporaryName.c_str(), handles.folder, target) == 0) {
        handles.temporaryName.clear();
        result = Placed::Done;
        return 0;
    }
    const int error = failure();
    if (unnamed) {
        // Gone again before any signal is let through.
        if (unlinkat(handles.folder, handles.temporaryName.c_str(), 0) == 0)
            handles.temporaryName.clear();
    }
    // A mount point, another file system, a folder that keeps its names.
    if (error == EBUSY || error == EXDEV || error == EPERM || error == EACCES)
        return 0;
    return error;
}

int publishNewFile(OutputHandles& handles)
{
    const char* target = handles.targetBase.c_str();
    if (handles.temporaryName.empty())
        return linkTemporary(handles, target);
#ifdef RENAME_NOREPLACE
    if (renameat2(handles.folder, handles.temporaryName.c_str(), handles.folder, target, RENAME_NOREPLACE) == 0) {
        handles.temporaryName.clear();
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return failure();
#endif
    if (linkat(handles.folder, handles.temporaryName.c_str(), handles.folder, target, 0) != 0)
        return failure();
    return 0;  // the temporary name goes with the handles
}

int writeOverTarget(OutputHandles& handles)
{
    if (retried([&] { return ftruncate(handles.target, 0); }) != 0 || lseek(handles.target, 0, SEEK_SET) != 0)
        return failure();
    std::vector<char> buffer(std::size_t{1} << 16);
    for (off_t at = 0;;) {
        const ssize_t got = retried([&] { return pread(handles.temporary, buffer.data(), buffer.size(), at); });
        if (got < 0)
            return failure();
        if (got == 0)
            return 0;
        if (int error = writeAll(handles.target, buffer.data(), static_cast<std::size_t>(got)))
            return error;
        at += got;
    }
}

int cutOrCreateTarget(OutputHandles& handles)
{
    if (handles.target < 0) {
        const char* name = handles.name.c_str();
        handles.target = retried([&] { return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666); });
        return handles.target >= 0 ? 0 : failure();
    }
    struct stat status {};
    if (fstat(handles.target, &status) != 0)
        return failure();
    if (S_ISREG(status.st_mode) && retried([&] { return ftruncate(handles.target, 0); }) != 0)
        return failure();
    return 0;
}

std::FILE* streamOnDescriptor(int descriptor)
{
    const int copy = retried([&] { return fcntl(descriptor, F_DUPFD_CLOEXEC, 0); });
    if (copy < 0)
        return nullptr;
    std::FILE* stream = fdopen(copy, "wb");
    if (stream == nullptr) {
        const int error = errno;
        (void)close(copy);
        errno = error;
    }
    return stream;
}

void releaseHandles(OutputHandles& handles)
{
    if (!handles.temporaryName.empty())
        (void)unlinkat(handles.folder, handles.temporaryName.c_str(), 0);  // nothing more can be done if it stays
    handles.temporaryName.clear();
    closeDescriptor(handles.temporary);
    closeDescriptor(handles.target);
    closeDescriptor(handles.folder);
}
