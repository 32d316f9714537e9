// Linux's extras: unnamed temporary files, an exchange and a rename that
// keeps a taken name, append-only folders told without reading them, space
// held ahead, extended attributes with the ACL and inode flags.
#include "extras.h"

#include <cerrno>
#include <string>
#include <vector>

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

// A list or value of the attribute call `get`, sized by asking it first;
// false when it failed.
template <typename Get>
bool readAttribute(Get get, std::string& into)
{
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        into.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t got = get(into.data(), into.size());
        if (got >= 0) {
            into.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;  // else it grew meanwhile
    }
}

bool giveExtendedAttributes(int from, int to)
{
    std::string names;
    if (!readAttribute([&](char* list, std::size_t size) { return flistxattr(from, list, size); }, names))
        return errno == ENOTSUP;  // none on this file system
    bool hasAcl = false;
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name = names.c_str() + at;  // each name ends with a '\0'
        at += name.size() + 1;
        if (name == capability)
            continue;
        if (!readAttribute([&](char* bytes, std::size_t size) { return fgetxattr(from, name.c_str(), bytes, size); },
                           value)) {
            if (errno == ENODATA)
                continue;  // removed meanwhile
            return false;
        }
        if (fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
        hasAcl = hasAcl || name == accessAcl;
    }
    // A folder's default ACL reaches only new files.
    return hasAcl || fremovexattr(to, accessAcl) == 0 || errno == ENODATA || errno == ENOTSUP;
}

// The flags of `fd` that ">" keeps, and all of them; none where the file
// system has no flags.
bool readFlags(int fd, unsigned& kept, unsigned& all)
{
    int value = 0;
    kept = all = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &value) != 0)
        return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL;
    all = static_cast<unsigned>(value);
    kept = all & keptFlags;
    return true;
}

// Set on the file while it is still empty: some flags take only then.
bool giveInodeFlags(int from, int to)
{
    unsigned wanted = 0;
    unsigned has = 0;
    unsigned all = 0;
    if (!readFlags(from, wanted, all) || !readFlags(to, has, all))
        return false;
    if (has == wanted)
        return true;  // the folder's flags may have reached it
    int value = static_cast<int>((all & ~keptFlags) | wanted);
    return ioctl(to, FS_IOC_SETFLAGS, &value) == 0 && readFlags(to, has, all) && has == wanted;
}

}  // namespace

const char* const extraDescriptorFolders[] = {"/proc/thread-self/fd", nullptr};

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
