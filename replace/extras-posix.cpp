// Any other Unix: the POSIX steps alone, with no extra.
#include "extras.h"

#include <cerrno>

const char* const descriptorFolders[] = {"/dev/fd", nullptr};

Result openUnreadableFolder(const char*, int& folder)
{
    folder = -1;
    return EACCES;
}

Result isAppendOnly(int, bool&)
{
    return ENOSYS;
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

Result giveExtraAttributes(int, int)
{
    return 0;
}

Result holdSpace(int, off_t, off_t)
{
    return ENOSYS;
}

Result storageOf(int, Storage&)
{
    return ENOSYS;
}

Result cloneContent(int, int)
{
    return ENOSYS;
}

Result exchangeNames(int, const char*, const char*)
{
    return ENOSYS;
}

Result renameIfFree(int, const char*, const char*)
{
    return ENOSYS;
}
