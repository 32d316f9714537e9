#include "platform.h"

#include <io.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/types.h>

bool describeOpenFile(std::FILE* file, FileKind& kind, std::uint64_t& length)
{
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0)
        return false;
    const auto type = status.st_mode & _S_IFMT;
    kind = type == _S_IFREG ? FileKind::Regular : type == _S_IFDIR ? FileKind::Directory : FileKind::Other;
    length = type == _S_IFREG && status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    return true;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    struct _stat64 one {};
    struct _stat64 other {};
    if (_stat64(first.c_str(), &one) != 0 || _stat64(second.c_str(), &other) != 0)
        return false;
    const auto type = one.st_mode & _S_IFMT;
    return type != _S_IFREG && type != _S_IFDIR && first == second;  // no inode numbers to compare
}

std::uint8_t* allocateBuffer(std::size_t size)
{
    // Page-aligned, so that the system copies whole cache lines into and
    // out of it.
    return static_cast<std::uint8_t*>(_aligned_malloc(size == 0 ? 1 : size, 4096));
}

void releaseBuffer(std::uint8_t* buffer)
{
    _aligned_free(buffer);
}
