#include "platform.h"

#include <cstdlib>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>

bool describeOpenFile(std::FILE* file, FileKind& kind, std::uint64_t& length)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0)
        return false;
    kind = S_ISREG(status.st_mode)   ? FileKind::Regular
           : S_ISDIR(status.st_mode) ? FileKind::Directory
                                     : FileKind::Other;
    length = S_ISREG(status.st_mode) && status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    return true;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    struct stat one {};
    struct stat other {};
    if (stat(first.c_str(), &one) != 0 || stat(second.c_str(), &other) != 0 || S_ISREG(one.st_mode) ||
        S_ISDIR(one.st_mode))
        return false;
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

std::uint8_t* allocateBuffer(std::size_t size)
{
    if (size == 0)
        size = 1;
    // Page-aligned, so that the system copies whole cache lines into and
    // out of it: a buffer 16 bytes off a page made reads a fifth slower.
    const std::size_t page = 4096;
    const std::size_t hugePage = std::size_t{1} << 21;
    void* buffer = nullptr;
    if (posix_memalign(&buffer, size >= 2 * hugePage ? hugePage : page, size) != 0)
        return nullptr;
    if (size >= 2 * hugePage)
        (void)madvise(buffer, size & ~(hugePage - 1), MADV_HUGEPAGE);  // only a hint: failure changes nothing
    return static_cast<std::uint8_t*>(buffer);
}

void releaseBuffer(std::uint8_t* buffer)
{
    std::free(buffer);
}
