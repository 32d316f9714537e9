// macOS's extras: an exchange and a rename that keeps a taken name
// (renameatx_np), space held ahead (F_PREALLOCATE), extended attributes with
// the ACL (fcopyfile), and append-only folders from the file flags.
#include "extras.h"

#include <cerrno>
#include <cstdio>

#include <copyfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const descriptorFolders[] = {"/dev/fd", nullptr};

Result openUnreadableFolder(const char*, int& folder)
{
    folder = -1;
    return EACCES;
}

Result isAppendOnly(int folder, bool& appendOnly)
{
    struct stat status {};
    if (fstat(folder, &status) != 0)
        return errno;
    appendOnly = (status.st_flags & (UF_APPEND | SF_APPEND)) != 0;
    return 0;
}

Result openUnnamedFile(int, mode_t, int& file)
{
    file = -1;
    return ENOSYS;
}

Result nameUnnamedFile(int, int, const char*)
{
    return ENOSYS;
}

Result giveExtraAttributes(int from, int to)
{
    return resultOf(fcopyfile(from, to, nullptr, COPYFILE_ACL | COPYFILE_XATTR));
}

Result holdSpace(int file, off_t offset, off_t length)
{
    struct stat status {};
    if (fstat(file, &status) != 0)
        return errno;
    if (offset + length <= status.st_size)
        return 0;
    // Allocated past what the file holds, without changing its length.
    fstore_t store{F_ALLOCATEALL, F_PEOFPOSMODE, 0, offset + length - status.st_size, 0};
    return resultOf(fcntl(file, F_PREALLOCATE, &store));
}

Result storageOf(int, Storage&)
{
    return ENOSYS;
}

Result cloneContent(int, int)
{
    return ENOSYS;
}

Result exchangeNames(int folder, const char* one, const char* other)
{
    return resultOf(renameatx_np(folder, one, folder, other, RENAME_SWAP));
}

Result renameIfFree(int folder, const char* from, const char* to)
{
    return resultOf(renameatx_np(folder, from, folder, to, RENAME_EXCL));
}
