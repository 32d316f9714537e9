// Any other Unix: the POSIX steps alone, with no extra.
#include "extras.h"

#include <cerrno>

const char* const descriptorFolders[] = {"/dev/fd", nullptr};

int openFolderForNames(const char*)
{
    return -1;
}

bool isAppendOnly(int)
{
    return false;
}

int openUnnamedFile(int, mode_t)
{
    return -1;
}

int nameUnnamedFile(int, int, const char*)
{
    return ENOSYS;
}

bool giveExtraAttributes(int, int)
{
    return true;
}

int holdSpace(int, off_t)
{
    return ENOSYS;
}

int exchangeNames(int, const char*, const char*)
{
    return ENOSYS;
}

int renameIfFree(int, const char*, const char*)
{
    return ENOSYS;
}
