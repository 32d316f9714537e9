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

int openFolderForNames(const char*)
{
    return -1;
}

bool isAppendOnly(int folder)
{
    struct stat status {};
    return fstat(folder, &status) == 0 && (status.st_flags & (UF_APPEND | SF_APPEND)) != 0;
}

int openUnnamedFile(int, mode_t)
{
    return -1;
}

int nameUnnamedFile(int, int, const char*)
{
    return ENOSYS;
}

bool giveExtraAttributes(int from, int to)
{
    return fcopyfile(from, to, nullptr, COPYFILE_ACL | COPYFILE_XATTR) == 0;
}

int holdSpace(int file, off_t length)
{
    struct stat status {};
    if (fstat(file, &status) != 0 || length <= status.st_size)
        return 0;
    // Allocated past what the file holds, without changing its length.
    fstore_t store{F_ALLOCATEALL, F_PEOFPOSMODE, 0, length - status.st_size, 0};
    return fcntl(file, F_PREALLOCATE, &store) == 0 ? 0 : errno;
}

int exchangeNames(int folder, const char* one, const char* other)
{
    return renameatx_np(folder, one, folder, other, RENAME_SWAP) == 0 ? 0 : errno;
}

int renameIfFree(int folder, const char* from, const char* to)
{
    return renameatx_np(folder, from, folder, to, RENAME_EXCL) == 0 ? 0 : errno;
}
