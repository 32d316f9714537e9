#include "platform.h"

#include <cstdlib>

#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
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

bool namesOpenFile(const std::string& name, std::FILE* file)
{
    FileStatus named{};
    FileStatus open{};
    if (statusOf(name, named) != 0 || statusOf(file, open) != 0)
        return false;  // a name that does not exist yet is another file
#ifdef _WIN32
    // No inode numbers here: only whole-file mapping depends on the answer,
    // and that is not used on Windows.
    return true;
#else
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
#endif
}

std::uint8_t* allocateBuffer(std::size_t size)
{
    if (size == 0)
        size = 1;
#ifdef _WIN32
    return static_cast<std::uint8_t*>(std::malloc(size));
#else
    const std::size_t hugePage = std::size_t{1} << 21;
    void* buffer = nullptr;
    if (posix_memalign(&buffer, size >= 2 * hugePage ? hugePage : alignof(std::max_align_t), size) != 0)
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
    std::free(buffer);
}

const std::uint8_t* mapFile(std::FILE* file, std::size_t size)
{
#ifdef _WIN32
    (void)file;
    (void)size;
    return nullptr;
#else
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // the whole file is read anyway: map it in one go
#endif
    void* data = mmap(nullptr, size, PROT_READ, flags, fileno(file), 0);
    return data == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(data);
#endif
}

void unmapFile(const std::uint8_t* data, std::size_t size)
{
#ifdef _WIN32
    (void)data;
    (void)size;
#else
    munmap(const_cast<std::uint8_t*>(data), size);
#endif
}
