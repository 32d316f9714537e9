#include "platform.h"

#include <cstdlib>

#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <malloc.h>
#else
#include <sys/mman.h>
#endif

#ifdef _WIN32
using FileStatus = struct _stat64;
static int statusOf(std::FILE* file, FileStatus& status)
{
    return _fstat64(_fileno(file), &status);
}

static int statusOf(const std::string& name, FileStatus& status)
{
    return _stat64(name.c_str(), &status);
}

static bool isRegular(const FileStatus& status)
{
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}

static bool isDirectory(const FileStatus& status)
{
    return (status.st_mode & _S_IFMT) == _S_IFDIR;
}
#else
using FileStatus = struct stat;
static int statusOf(std::FILE* file, FileStatus& status)
{
    return fstat(fileno(file), &status);
}

static int statusOf(const std::string& name, FileStatus& status)
{
    return stat(name.c_str(), &status);
}

static bool isRegular(const FileStatus& status)
{
    return S_ISREG(status.st_mode);
}

static bool isDirectory(const FileStatus& status)
{
    return S_ISDIR(status.st_mode);
}
#endif

bool describeOpenFile(std::FILE* file, FileKind& kind, std::uint64_t& length)
{
    FileStatus status{};
    if (statusOf(file, status) != 0)
        return false;
    kind = isRegular(status) ? FileKind::Regular : isDirectory(status) ? FileKind::Directory : FileKind::Other;
    length = isRegular(status) && status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    return true;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    FileStatus one{};
    FileStatus other{};
    if (statusOf(first, one) != 0 || statusOf(second, other) != 0 || isRegular(one) || isDirectory(one))
        return false;
#ifdef _WIN32
    return first == second;  // no inode numbers to compare
#else
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
#endif
}

std::uint8_t* allocateBuffer(std::size_t size)
{
    if (size == 0)
        size = 1;
    // Page-aligned, so that the system copies whole cache lines into and
    // out of it: a buffer 16 bytes off a page made reads a fifth slower.
    const std::size_t page = 4096;
#ifdef _WIN32
    return static_cast<std::uint8_t*>(_aligned_malloc(size, page));
#else
    const std::size_t hugePage = std::size_t{1} << 21;
    void* buffer = nullptr;
    if (posix_memalign(&buffer, size >= 2 * hugePage ? hugePage : page, size) != 0)
        return nullptr;
#ifdef MADV_HUGEPAGE
    if (size >= 2 * hugePage)
        madvise(buffer, size & ~(hugePage - 1), MADV_HUGEPAGE);  // only a hint: failure changes nothing
#endif
    return static_cast<std::uint8_t*>(buffer);
#endif
}

void releaseBuffer(std::uint8_t* buffer)
{
#ifdef _WIN32
    _aligned_free(buffer);
#else
    std::free(buffer);
#endif
}
