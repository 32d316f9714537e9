// Linux's extras: unnamed files, an exchange and a rename that keeps a taken
// name, append-only folders, space held ahead, copy-on-write and overlay
// file systems, extended attributes with the ACL, inode and XFS attributes.
#include "extras.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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
// And of XFS's flags, those the inode flags do not carry: realtime, extent
// size hints, no defragmenting, file streams, DAX.
constexpr unsigned keptXflags =
    FS_XFLAG_REALTIME | FS_XFLAG_EXTSIZE | FS_XFLAG_NODEFRAG | FS_XFLAG_FILESTREAM | FS_XFLAG_DAX | FS_XFLAG_COWEXTSIZE;

// The extended attributes of `from` on `to`, but for a file capability;
// the ACL of a folder's default reaches only new files.
Result giveExtendedAttributes(int from, int to)
{
    static char names[65536];  // the system's limits, XATTR_LIST_MAX and XATTR_SIZE_MAX
    static char value[65536];
    const ssize_t listed = flistxattr(from, names, sizeof names);
    if (listed < 0)
        return errno == ENOTSUP ? 0 : errno;  // none on this file system
    bool hasAcl = false;
    for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        const char* name = names + at;
        if (std::strcmp(name, capability) == 0)
            continue;
        const ssize_t size = fgetxattr(from, name, value, sizeof value);
        if (size < 0 && errno == ENODATA)
            continue;  // removed meanwhile
        if (size < 0 || fsetxattr(to, name, value, static_cast<std::size_t>(size), 0) != 0)
            return errno;
        hasAcl = hasAcl || std::strcmp(name, accessAcl) == 0;
    }
    if (hasAcl || fremovexattr(to, accessAcl) == 0 || errno == ENODATA || errno == ENOTSUP)
        return 0;
    return errno;
}

// The file system keeps no such attribute: nothing to give.
bool hasNone(int error)
{
    return error == ENOTTY || error == ENOTSUP || error == EINVAL;
}

// Set while the file is still empty: some flags take only then.
Result giveInodeFlags(int from, int to)
{
    int wanted = 0;
    int has = 0;
    if (ioctl(from, FS_IOC_GETFLAGS, &wanted) != 0 || ioctl(to, FS_IOC_GETFLAGS, &has) != 0)
        return hasNone(errno) ? 0 : errno;
    if ((has & keptFlags) == (wanted & keptFlags))
        return 0;  // the folder's flags may have reached it
    int value = static_cast<int>((has & ~keptFlags) | (wanted & keptFlags));
    if (ioctl(to, FS_IOC_SETFLAGS, &value) != 0 || ioctl(to, FS_IOC_GETFLAGS, &has) != 0)
        return errno;
    return (has & keptFlags) == (wanted & keptFlags) ? 0 : EPERM;
}

// The project ID, the extent size hints and XFS's own flags.
Result giveXfsAttributes(int from, int to)
{
    struct fsxattr wanted {};
    struct fsxattr has {};
    if (ioctl(from, FS_IOC_FSGETXATTR, &wanted) != 0 || ioctl(to, FS_IOC_FSGETXATTR, &has) != 0)
        return hasNone(errno) ? 0 : errno;
    const unsigned flags = (has.fsx_xflags & ~keptXflags) | (wanted.fsx_xflags & keptXflags);
    if (flags == has.fsx_xflags && wanted.fsx_projid == has.fsx_projid && wanted.fsx_extsize == has.fsx_extsize &&
        wanted.fsx_cowextsize == has.fsx_cowextsize)
        return 0;
    has.fsx_xflags = flags;
    has.fsx_projid = wanted.fsx_projid;
    has.fsx_extsize = wanted.fsx_extsize;
    has.fsx_cowextsize = wanted.fsx_cowextsize;
    return resultOf(ioctl(to, FS_IOC_FSSETXATTR, &has));
}

}  // namespace

const char* const descriptorFolders[] = {"/dev/fd", "/proc/thread-self/fd", nullptr};

Result openUnreadableFolder(const char* path, int& folder)
{
    folder = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    return folder < 0 ? errno : 0;
}

// statx tells through any descriptor; without it (before Linux 4.11, or
// refused by a seccomp profile) the flags are read through one that allows
// it, which a folder opened without the right to read is not.
Result isAppendOnly(int folder, bool& appendOnly)
{
    struct statx status {};
    if (statx(folder, "", AT_EMPTY_PATH, 0, &status) == 0 && (status.stx_attributes_mask & STATX_ATTR_APPEND) != 0) {
        appendOnly = (status.stx_attributes & STATX_ATTR_APPEND) != 0;
        return 0;
    }
    int flags = 0;
    if (ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0)
        return hasNone(errno) ? 0 : errno;
    appendOnly = (flags & FS_APPEND_FL) != 0;
    return 0;
}

Result openUnnamedFile(int folder, mode_t mode, int& file)
{
    file = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    return file < 0 ? errno : 0;
}

Result nameUnnamedFile(int file, int folder, const char* name)
{
    if (linkat(file, "", folder, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL)
        return errno;
    // Without the right to link by descriptor, through its /proc name.
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    return resultOf(linkat(AT_FDCWD, self.c_str(), folder, name, AT_SYMLINK_FOLLOW));
}

Result giveExtraAttributes(int from, int to)
{
    if (Result error = giveExtendedAttributes(from, to))
        return error;
    if (Result error = giveInodeFlags(from, to))
        return error;
    return giveXfsAttributes(from, to);
}

Result holdSpace(int file, off_t offset, off_t length)
{
    if (length == 0)
        return 0;
    return resultOf(fallocate(file, FALLOC_FL_KEEP_SIZE, offset, length));
}

// btrfs copies every block on write but those of a file with chattr +C;
// XFS those a file shares with another (a reflinked copy), which the clone
// then covers too.
Result storageOf(int file, Storage& storage)
{
    struct statfs system {};
    int flags = 0;
    if (fstatfs(file, &system) != 0)
        return errno;
    storage = Storage::InPlace;
    if (system.f_type == OVERLAYFS_SUPER_MAGIC)
        storage = Storage::CopiedUpOnOpen;
    if (system.f_type == XFS_SUPER_MAGIC ||
        (system.f_type == BTRFS_SUPER_MAGIC && (ioctl(file, FS_IOC_GETFLAGS, &flags) != 0 || !(flags & FS_NOCOW_FL))))
        storage = Storage::CopyOnWrite;
    return 0;
}

Result cloneContent(int to, int from)
{
    return resultOf(ioctl(to, FICLONE, from));
}

Result exchangeNames(int folder, const char* one, const char* other)
{
    return resultOf(renameat2(folder, one, folder, other, RENAME_EXCHANGE));
}

Result renameIfFree(int folder, const char* from, const char* to)
{
    return resultOf(renameat2(folder, from, folder, to, RENAME_NOREPLACE));
}
