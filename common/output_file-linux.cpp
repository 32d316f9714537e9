// The system calls behind output_system.h on Linux. Names are resolved by
// the system, once, when the target is opened; every later step works from
// that descriptor and its folder's.
#include "output_system.h"

#include <bitset>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

struct OutputSystem {
    std::string name;           // as the user gave it
    int callerDescriptor = -1;  // the caller's descriptor it names
    int target = -1;            // the target, open for writing, not cut
    int folder = -1;            // the target's folder
    int temporary = -1;         // the new content, until it is in place
    std::string targetBase;     // the target's name within its folder
    std::string temporaryName;  // name of the temporary file, while it has one
    bool appendOnlyFolder = false;
    bool createdTarget = false;  // made by this run, and removed unless kept
    bool kept = false;
    std::uint64_t written = 0;  // into the target itself
    struct stat opened {};      // the target as it was opened
};

namespace {

const char accessAcl[] = "system.posix_acl_access";
// A file capability never passes to new content: ">" drops it too.
const char capability[] = "security.capability";

// The inode flags that ">" leaves on a file (chattr A, c, d, s, S, u, C, t,
// m, j); the others belong to the file system or make it read-only.
constexpr unsigned keptFlags = FS_NOATIME_FL | FS_COMPR_FL | FS_NODUMP_FL | FS_SECRM_FL | FS_SYNC_FL | FS_UNRM_FL |
                               FS_NOCOW_FL | FS_NOTAIL_FL | FS_NOCOMP_FL | FS_JOURNAL_DATA_FL;

// The descriptors the caller handed over, as noted at the start.
std::bitset<65536> callerDescriptors;

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
        (void)close(fd);  // every write was checked as it was made
    fd = -1;
}

bool sameFile(const struct stat& one, const struct stat& other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

bool sameTime(const struct timespec& one, const struct timespec& other)
{
    return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
}

// N when `path` is entry N of this process's descriptor folder
// (/proc/self/fd, which /dev/fd leads to), else -1.
int descriptorNumberIn(const std::string& path)
{
    const std::string base = basePart(path, "/");
    if (base.empty() || base.size() > 9 || base.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const std::string folder = folderPart(path, "/");
    char* real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (real == nullptr)
        return -1;
    const std::string self = "/proc/" + std::to_string(getpid());
    const bool ours = real == self + "/fd" || real == self + "/task/" + std::to_string(getpid()) + "/fd";
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

bool isPermissionRefusal(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// Told without reading the folder, which its user may not be allowed to.
bool folderIsAppendOnly(int folder)
{
    struct statx status {};
    if (statx(folder, "", AT_EMPTY_PATH, 0, &status) == 0 && (status.stx_attributes_mask & STATX_ATTR_APPEND) != 0)
        return (status.stx_attributes & STATX_ATTR_APPEND) != 0;
    int flags = 0;
    return ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

// Links the unnamed temporary file into the folder as `name`; without the
// right to link by descriptor, through its /proc name.
int linkTemporary(const OutputSystem& system, const std::string& name)
{
    if (linkat(system.temporary, "", system.folder, name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL)
        return failure();
    const std::string self = "/proc/self/fd/" + std::to_string(system.temporary);
    return linkat(AT_FDCWD, self.c_str(), system.folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : failure();
}

// Gives the unnamed temporary file a name beside the target.
int nameTemporary(OutputSystem& system)
{
    for (int attempt = 0; system.temporaryName.empty(); ++attempt) {
        const std::string name = temporaryCandidate(system.targetBase);
        const int error = linkTemporary(system, name);
        if (error == 0)
            system.temporaryName = name;
        else if (error != EEXIST || attempt == 100)
            return error;
    }
    return 0;
}

void removeTemporaryName(OutputSystem& system)
{
    if (!system.temporaryName.empty() && unlinkat(system.folder, system.temporaryName.c_str(), 0) == 0)
        system.temporaryName.clear();
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
    // ENOTSUP and EOPNOTSUPP are one value on Linux; ENOTTY is an ioctl's.
    return error == EPERM || error == EACCES || error == ENOTSUP || error == E2BIG || error == ERANGE ||
           error == EINVAL || error == ENOTTY;
}

// The target's extended attributes on the temporary file; a folder's
// default ACL reaches only new files.
int giveExtendedAttributes(const OutputSystem& system, bool& given)
{
    int error = 0;
    const std::vector<std::string> names = attributeNames(system.target, error);
    if (error != 0)
        return error;
    bool hasAcl = false;
    for (const std::string& name : names) {
        if (name == capability)
            continue;
        const std::string value = attributeValue(system.target, name, error);
        if (error == ENODATA)
            continue;  // removed meanwhile
        if (error != 0)
            return cannotGive(error) ? 0 : error;
        if (fsetxattr(system.temporary, name.c_str(), value.data(), value.size(), 0) != 0)
            return cannotGive(errno) ? 0 : failure();
        hasAcl = hasAcl || name == accessAcl;
    }
    if (!hasAcl && fremovexattr(system.temporary, accessAcl) != 0 && errno != ENODATA && errno != ENOTSUP)
        return cannotGive(errno) ? 0 : failure();
    given = true;
    return 0;
}

// The flags of `fd` that ">" keeps; 0 where the file system has none.
int keptFlagsOf(int fd, unsigned& flags, unsigned& all)
{
    int value = 0;
    flags = all = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &value) != 0)
        return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL ? 0 : failure();
    all = static_cast<unsigned>(value);
    flags = all & keptFlags;
    return 0;
}

// The target's inode flags on the temporary file, which is still empty
// (some flags take only on an empty file).
int giveInodeFlags(const OutputSystem& system, bool& given)
{
    unsigned wanted = 0;
    unsigned all = 0;
    unsigned has = 0;
    if (int error = keptFlagsOf(system.target, wanted, all))
        return error;
    if (int error = keptFlagsOf(system.temporary, has, all))
        return error;
    given = has == wanted;  // the folder's flags may have reached it
    if (given)
        return 0;
    int value = static_cast<int>((all & ~keptFlags) | wanted);
    if (ioctl(system.temporary, FS_IOC_SETFLAGS, &value) != 0)
        return cannotGive(errno) ? 0 : failure();
    if (int error = keptFlagsOf(system.temporary, has, all))
        return error;
    given = has == wanted;
    return 0;
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

// The target is still as it was opened, with one link: nobody removed,
// linked or wrote it meanwhile. A rename of its own changes its ctime, so
// that is compared only before one.
int checkUnchanged(const OutputSystem& system, bool renamed = false)
{
    struct stat now {};
    if (fstat(system.target, &now) != 0)
        return failure();
    if (now.st_nlink != 1 || now.st_size != system.opened.st_size || !sameTime(now.st_mtim, system.opened.st_mtim) ||
        (!renamed && !sameTime(now.st_ctim, system.opened.st_ctim)))
        return ErrorTargetChanged;
    return 0;
}

// The file under `name` in the target's folder is the target itself.
bool nameLeadsToTarget(const OutputSystem& system, const char* name)
{
    struct stat named {};
    return fstatat(system.folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, system.opened);
}

// A rename the system refuses for where the target is, not for a fault: a
// mount point, another file system, a folder that keeps its names.
bool isRefusedRename(int error)
{
    return error == EBUSY || error == EXDEV || error == EPERM || error == EACCES;
}

}  // namespace

void noteCallerDescriptors()
{
    // Read without allocating, before anything of the program's own is open.
    const int folder = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        // Without /proc no descriptor name leads anywhere; what is open is
        // still noted, within a limit that an open just refused.
        struct rlimit limit {};
        const rlim_t last = getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
        for (rlim_t fd = 0; fd < last && fd < callerDescriptors.size(); ++fd)
            if (fcntl(static_cast<int>(fd), F_GETFD) >= 0)
                callerDescriptors.set(fd);
        return;
    }
    alignas(8) char entries[4096];
    for (;;) {
        const long got = syscall(SYS_getdents64, folder, entries, sizeof entries);
        if (got <= 0)
            break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(entries + at);
            const char* name = entry->d_name;
            if (name[0] >= '0' && name[0] <= '9') {
                const long fd = std::strtol(name, nullptr, 10);
                if (fd != folder && fd >= 0 && static_cast<unsigned long>(fd) < callerDescriptors.size())
                    callerDescriptors.set(static_cast<std::size_t>(fd));
            }
            at += entry->d_reclen;
        }
    }
    (void)close(folder);
}

OutputSystem* newOutputSystem(const std::string& name)
{
    OutputSystem* system = new (std::nothrow) OutputSystem;
    if (system != nullptr)
        system->name = name;
    return system;
}

void OutputSystemRelease::operator()(OutputSystem* system) const
{
    // The temporary file's name is never the output's: it goes in any case
    // (nothing more can be done if it stays).
    removeTemporaryName(*system);
    if (!system->kept && system->createdTarget && nameLeadsToTarget(*system, system->targetBase.c_str()))
        (void)unlinkat(system->folder, system->targetBase.c_str(), 0);
    closeDescriptor(system->temporary);
    closeDescriptor(system->target);
    closeDescriptor(system->folder);
    delete system;
}

int findCallerDescriptor(OutputSystem& system, bool& found)
{
    found = false;
    std::string path = system.name;
    for (int hop = 0; hop < 40; ++hop) {
        const int number = descriptorNumberIn(path);
        if (number >= 0) {
            // The program's own input, folder or temporary file may have
            // that number now: only the caller's count.
            if (static_cast<std::size_t>(number) >= callerDescriptors.size() || !callerDescriptors.test(number))
                return EBADF;
            const int flags = fcntl(number, F_GETFL);
            const int access = flags & O_ACCMODE;
            if (flags < 0 || (access != O_WRONLY && access != O_RDWR))
                return 0;  // not open for writing: the name is opened as any other
            // The system follows the links once more, with its own rules for
            // links in sticky folders, and must arrive at the same file.
            const int probe = retried([&] { return open(system.name.c_str(), O_PATH | O_CLOEXEC); });
            if (probe < 0)
                return failure();
            struct stat named {};
            struct stat held {};
            found = fstat(probe, &named) == 0 && fstat(number, &held) == 0 && sameFile(named, held);
            (void)close(probe);
            if (found)
                system.callerDescriptor = number;
            return 0;
        }
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        std::string link = readLink(path);
        if (link.empty())
            return 0;
        if (link[0] != '/')
            link.insert(0, folderPart(path, "/"));
        path = link;
    }
    return 0;
}

int openTarget(OutputSystem& system, TargetKind& kind)
{
    const char* name = system.name.c_str();
    // Whether there is a file, without opening it for writing yet (a FIFO
    // would wait for a reader before its open could be refused).
    int existing = retried([&] { return open(name, O_PATH | O_CLOEXEC); });
    if (existing < 0) {
        if (errno != ENOENT)
            return failure();
        // A link that leads nowhere yet: ">" creates the file it leads to,
        // where the system allows it.
        struct stat status {};
        if (lstat(name, &status) != 0 || !S_ISLNK(status.st_mode)) {
            kind = TargetKind::Missing;
            return 0;
        }
    }
    closeDescriptor(existing);
    // Opened as ">" opens it, less the cut: the rules for links, files and
    // FIFOs planted in sticky folders apply to an open that may create.
    system.target = retried([&] { return open(name, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666); });
    if (system.target < 0)
        return failure();
    if (fstat(system.target, &system.opened) != 0)
        return failure();
    kind = !S_ISREG(system.opened.st_mode) ? TargetKind::Other
           : system.opened.st_nlink > 1    ? TargetKind::SeveralLinks
                                           : TargetKind::Regular;
    return 0;
}

int openFolder(OutputSystem& system, TargetKind kind, bool& found)
{
    found = false;
    std::string folderName = folderPart(system.name, "/");
    system.targetBase = basePart(system.name, "/");
    if (system.targetBase.empty())
        return 0;  // "name/": the open says what it is
    for (int attempt = 0; attempt < 2; ++attempt) {
        const char* folder = folderName.empty() ? "." : folderName.c_str();
        closeDescriptor(system.folder);
        system.folder = retried([&] { return open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC); });
        if (system.folder < 0)
            return failure();
        // The name as given may be a link; the file's own folder is then
        // where the system found it.
        if (kind == TargetKind::Missing || nameLeadsToTarget(system, system.targetBase.c_str())) {
            found = true;
            break;
        }
        const std::string real = readLink("/proc/self/fd/" + std::to_string(system.target));
        if (attempt > 0 || real.empty() || real[0] != '/')
            return 0;
        folderName = folderPart(real, "/");
        system.targetBase = basePart(real, "/");
    }
    system.appendOnlyFolder = found && folderIsAppendOnly(system.folder);
    return 0;
}

int createTemporary(OutputSystem& system, bool forNewFile, Temporary& result)
{
    // The system gives a new file the folder's default ACL, or the mode
    // less the umask; a file that replaces another gets its attributes
    // next, and until then nobody else may open it.
    const mode_t mode = forNewFile ? 0666 : 0600;
    result = Temporary::Created;
    system.temporary = retried([&] { return openat(system.folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode); });
    if (system.temporary >= 0)
        return 0;
    if (isPermissionRefusal(errno)) {
        result = Temporary::Refused;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return failure();
    // A named file in an append-only folder could never be removed.
    if (system.appendOnlyFolder) {
        result = Temporary::Refused;
        return 0;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryCandidate(system.targetBase);
        system.temporary = retried([&] {
            return openat(system.folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (system.temporary >= 0) {
            system.temporaryName = name;
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

int giveAttributes(OutputSystem& system, Attributes& result)
{
    result = Attributes::CannotGive;
    const struct stat& target = system.opened;
    struct stat temporary {};
    if (fstat(system.temporary, &temporary) != 0)
        return failure();
    // Owner first: changing it clears set-id bits and file capabilities.
    if (target.st_uid != temporary.st_uid || target.st_gid != temporary.st_gid) {
        if (fchown(system.temporary, target.st_uid, target.st_gid) != 0)
            return cannotGive(errno) ? 0 : failure();
    }
    bool given = false;
    if (int error = giveExtendedAttributes(system, given); error != 0 || !given)
        return error;
    if (int error = giveInodeFlags(system, given); error != 0 || !given)
        return error;
    if (fchmod(system.temporary, target.st_mode & 07777) != 0)
        return cannotGive(errno) ? 0 : failure();
    // The system drops a set-group-ID bit it does not grant.
    if (fstat(system.temporary, &temporary) != 0)
        return failure();
    if ((temporary.st_mode & 07777) != (target.st_mode & 07777))
        return 0;
    // Cut as ">" cuts: the system clears the set-id bits of a writer that
    // may not keep them, as it would on the target.
    if (retried([&] { return ftruncate(system.temporary, 0); }) != 0)
        return failure();
    result = Attributes::Given;
    return 0;
}

void dropTemporary(OutputSystem& system)
{
    removeTemporaryName(system);
    closeDescriptor(system.temporary);
}

int createTarget(OutputSystem& system)
{
    const char* name = system.name.c_str();
    system.target = retried([&] { return open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666); });
    if (system.target < 0)
        return failure();
    system.createdTarget = system.folder >= 0;  // else it cannot be told apart for removal
    return fstat(system.target, &system.opened) == 0 ? 0 : failure();
}

int reserveSpace(OutputSystem& system, std::uint64_t length)
{
    if (!S_ISREG(system.opened.st_mode) || length == 0)
        return 0;
    if (retried([&] { return fallocate(system.target, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)); }) == 0)
        return 0;
    // Where the file system holds no space ahead, the writes find out.
    return errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL ? 0 : failure();
}

int writeBytes(OutputSystem& system, WriteTo to, const void* bytes, std::size_t size)
{
    const int fd = to == WriteTo::Temporary ? system.temporary
                   : to == WriteTo::Target  ? system.target
                                            : system.callerDescriptor;
    system.written += to == WriteTo::Target ? size : 0;
    return writeAll(fd, static_cast<const char*>(bytes), size);
}

int replaceTarget(OutputSystem& system, Placed& result)
{
    result = Placed::Refused;
    if (system.appendOnlyFolder)
        return 0;  // the old name could not be removed
    if (int error = checkUnchanged(system))
        return error;
    const char* target = system.targetBase.c_str();
    SignalsHeld held;
    if (int error = nameTemporary(system))
        return error;
    const char* temporary = system.temporaryName.c_str();
    // Exchanged, the old name's file comes out under the temporary name, and
    // is put back unless it is the file that was opened.
    if (renameat2(system.folder, temporary, system.folder, target, RENAME_EXCHANGE) == 0) {
        if (nameLeadsToTarget(system, temporary) && checkUnchanged(system, true) == 0) {
            removeTemporaryName(system);  // the old file
            result = Placed::Done;
            return 0;
        }
        if (renameat2(system.folder, temporary, system.folder, target, RENAME_EXCHANGE) != 0) {
            // The other program's file keeps the temporary name: never removed.
            const int error = failure();
            system.temporaryName.clear();
            return error;
        }
        removeTemporaryName(system);
        return ErrorTargetChanged;
    }
    int error = failure();
    if (error == EINVAL || error == ENOSYS) {
        // No exchange here: checked just before the rename instead.
        error = nameLeadsToTarget(system, target) ? 0 : ErrorTargetChanged;
        if (error == 0 && renameat(system.folder, temporary, system.folder, target) == 0) {
            system.temporaryName.clear();
            result = Placed::Done;
            return 0;
        }
        if (error == 0)
            error = failure();
    }
    removeTemporaryName(system);  // gone again before any signal is let through
    if (error == ENOENT)
        return ErrorTargetChanged;  // removed meanwhile
    return isRefusedRename(error) ? 0 : error;
}

int publishNewFile(OutputSystem& system)
{
    const char* target = system.targetBase.c_str();
    int error = 0;
    if (system.temporaryName.empty()) {
        error = linkTemporary(system, target);
    } else if (renameat2(system.folder, system.temporaryName.c_str(), system.folder, target, RENAME_NOREPLACE) == 0) {
        system.temporaryName.clear();
    } else if ((errno != EINVAL && errno != ENOSYS) ||
               linkat(system.folder, system.temporaryName.c_str(), system.folder, target, 0) != 0) {
        error = failure();  // the link is the way where no rename keeps a name that exists
    }
    // Made meanwhile by another program, which keeps it.
    return error == EEXIST ? ErrorTargetChanged : error;
}

int copyOverTarget(OutputSystem& system)
{
    if (int error = checkUnchanged(system))
        return error;
    struct stat content {};
    if (fstat(system.temporary, &content) != 0)
        return failure();
    std::vector<char> buffer;
    try {
        buffer.resize(std::size_t{1} << 16);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    if (int error = reserveSpace(system, static_cast<std::uint64_t>(content.st_size)))
        return error;
    for (off_t at = 0; at < content.st_size;) {
        const ssize_t got = retried([&] { return pread(system.temporary, buffer.data(), buffer.size(), at); });
        if (got <= 0)
            return got < 0 ? failure() : EIO;
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = retried([&] {
                return pwrite(system.target, buffer.data() + done, static_cast<std::size_t>(got - done), at + done);
            });
            if (written <= 0)
                return written < 0 ? failure() : EIO;
            done += written;
        }
        at += got;
    }
    return retried([&] { return ftruncate(system.target, content.st_size); }) == 0 ? 0 : failure();
}

int endDirectWrite(OutputSystem& system, OutputStep& failedStep)
{
    failedStep = OutputStep::Write;
    // Only what the new content did not cover is cut.
    struct stat now {};
    if (S_ISREG(system.opened.st_mode)) {
        if (fstat(system.target, &now) != 0)
            return failure();
        const auto end = static_cast<off_t>(system.written);
        if (now.st_size > end && retried([&] { return ftruncate(system.target, end); }) != 0)
            return failure();
    }
    failedStep = OutputStep::Close;
    const int fd = system.target;
    system.target = -1;
    return close(fd) == 0 || errno == EINTR ? 0 : failure();
}

void keepOutput(OutputSystem& system)
{
    system.kept = true;
}
