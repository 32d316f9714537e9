// Linux's extras: unnamed temporary files, an exchange and a rename that
// keeps a taken name, append-only folders told without reading them, space
// held ahead, extended attributes with the ACL and inode flags.
#include "extras.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/stat.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const char accessAcl[] = "system.posix_acl_access";
// A file capability never passes to new content: ">" drops it too.
const char capability[] = "security.capability";

// The inode flags that ">" leaves on a file (chattr A, c, d, s, S, u, C, t,
// m, j); the others belong to the file system or make it read-only.
constexpr unsigned keptFlags = FS_NOATIME_FL | FS_COMPR_FL | FS_NODUMP_FL | FS_SECRM_FL | FS_SYNC_FL | FS_UNRM_FL |
                               FS_NOCOW_FL | FS_NOTAIL_FL | FS_NOCOMP_FL | FS_JOURNAL_DATA_FL;

// The extended attributes of `from` on `to`, but for a file capability;
// the ACL of a folder's default reaches only new files.
bool giveExtendedAttributes(int from, int to)
{
    static char names[65536];  // the system's limits, XATTR_LIST_MAX and XATTR_SIZE_MAX
    static char value[65536];
    const ssize_t listed = flistxattr(from, names, sizeof names);
    if (listed < 0)
        return errno == ENOTSUP;  // none on this file system
    bool hasAcl = false;
    for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        const char* name = names + at;
        if (std::strcmp(name, capability) == 0)
            continue;
        const ssize_t size = fgetxattr(from, name, value, sizeof value);
        if (size < 0 && errno == ENODATA)
            continue;  // removed meanwhile
        if (size < 0 || fsetxattr(to, name, value, static_cast<std::size_t>(size), 0) != 0)
            return false;
        hasAcl = hasAcl || std::strcmp(name, accessAcl) == 0;
    }
    return hasAcl || fremovexattr(to, accessAcl) == 0 || errno == ENODATA || errno == ENOTSUP;
}

// The inode flags of `fd`: none where the file system has none, -1 on a
// failure.
long inodeFlags(int fd)
{
    int value = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &value) == 0)
        return static_cast<unsigned>(value);
    return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL ? 0 : -1;
}

// Set while the file is still empty: some flags take only then.
bool giveInodeFlags(int from, int to)
{
    const long wanted = inodeFlags(from);
    const long has = inodeFlags(to);
    if (wanted < 0 || has < 0)
        return false;
    if ((has & keptFlags) == (wanted & keptFlags))
        return true;  // the folder's flags may have reached it
    int value = static_cast<int>((has & ~keptFlags) | (wanted & keptFlags));
    return ioctl(to, FS_IOC_SETFLAGS, &value) == 0 && (inodeFlags(to) & keptFlags) == (wanted & keptFlags);
}

}  // namespace

const char* const descriptorFolders[] = {"/dev/fd", "/proc/thread-self/fd", nullptr};

int openFolderForNames(const char* path)
{
    return open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

bool isAppendOnly(int folder)
{
    struct statx status {};
    if (syscall(SYS_statx, folder, "", AT_EMPTY_PATH, 0, &status) == 0 &&
        (status.stx_attributes_mask & STATX_ATTR_APPEND) != 0)
        return (status.stx_attributes & STATX_ATTR_APPEND) != 0;
    int flags = 0;
    return ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

int openUnnamedFile(int folder, mode_t mode)
{
    return openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
}

int nameUnnamedFile(int file, int folder, const char* name)
{
    if (linkat(file, "", folder, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL)
        return errno;
    // Without the right to link by descriptor, through its /proc name.
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    return linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

bool giveExtraAttributes(int from, int to)
{
    return giveExtendedAttributes(from, to) && giveInodeFlags(from, to);
}

int holdSpace(int file, off_t length)
{
    if (length == 0)
        return 0;
    return fallocate(file, FALLOC_FL_KEEP_SIZE, 0, length) == 0 ? 0 : errno;
}

int exchangeNames(int folder, const char* one, const char* other)
{
    return syscall(SYS_renameat2, folder, one, folder, other, RENAME_EXCHANGE) == 0 ? 0 : errno;
}

int renameIfFree(int folder, const char* from, const char* to)
{
    return syscall(SYS_renameat2, folder, from, folder, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
}
