#include "output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

#ifdef _WIN32
const char separators[] = "/\\:";
#else
const char separators[] = "/";
#endif

// The folder part of `path`, with its trailing separator; "" for a bare name.
std::string folderPrefix(const std::string& path)
{
    const std::size_t last = path.find_last_of(separators);
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

// A name beside `target` that says what it is: ".font.bin.x7Qa2Z". Long
// names are shortened so that the temporary name stays within the limits.
std::string temporaryCandidate(const std::string& target, const std::string& suffix)
{
    const std::size_t last = target.find_last_of(separators);
    std::string base = last == std::string::npos ? target : target.substr(last + 1);
    if (base.size() > 200)
        base.resize(200);
    return folderPrefix(target) + "." + base + "." + suffix;
}

std::mt19937_64 seededRandom()
{
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return std::mt19937_64((std::uint64_t{device()} << 32) ^ now);
}

int openExclusive(const std::string& name)
{
#ifdef _WIN32
    int fd = -1;
    return _sopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) ==
                   0
               ? fd
               : -1;
#else
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
#endif
}

void closeDescriptor(int fd)
{
#ifdef _WIN32
    (void)_close(fd);
#else
    (void)close(fd);  // nothing was written through it
#endif
}

// Creates the temporary file beside `target`; -1 with errno set on failure.
int createTemporary(const std::string& target, std::string& temporaryName)
{
    std::mt19937_64 random = seededRandom();
    for (int attempt = 0; attempt < 100; ++attempt) {
        static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string suffix;
        for (int i = 0; i < 6; ++i)
            suffix += letters[random() % (sizeof letters - 1)];
        temporaryName = temporaryCandidate(target, suffix);
        const int fd = openExclusive(temporaryName);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Where the target is, and whether it exists; false when the output must be
// written directly.
struct Target {
    std::string name;
    bool exists = false;
#ifndef _WIN32
    struct stat status {};
#endif
};

#ifdef _WIN32
// Devices (NUL, CON, and what wine shows of /dev) are written directly, as
// are folders, read-only files (refused as "wb" would refuse them) and files
// with several hard links.
bool findTarget(const std::string& name, Target& target)
{
    target.name = name;
    HANDLE handle = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    target.exists = true;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information) &&
                         (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 &&
                         information.nNumberOfLinks == 1;
    CloseHandle(handle);
    return regular;
}

// The target's attributes are the file's own on Windows: nothing to copy.
bool matchTarget(int, const Target&)
{
    return true;
}
#else
// Names under /proc (where /dev/stdout and /dev/fd/N lead) stand for files
// that are already open: only writing through the name reaches them.
bool insideProc(const std::string& path)
{
    const std::string folder = folderPrefix(path);
    char* real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (real == nullptr)
        return false;
    const std::string resolved = real;
    std::free(real);
    return resolved == "/proc" || resolved.compare(0, 6, "/proc/") == 0;
}

// Follows symbolic links from `name`, so that a link stays a link and the
// file it leads to is replaced.
bool findTarget(const std::string& name, Target& target)
{
    std::string path = name;
    for (int hop = 0; hop < 40; ++hop) {
        if (insideProc(path))
            return false;
        if (lstat(path.c_str(), &target.status) != 0) {
            const bool missing = errno == ENOENT;  // a new file; a missing folder fails later as "wb" would
            target.name = path;
            return missing;
        }
        if (!S_ISLNK(target.status.st_mode)) {
            target.name = path;
            target.exists = true;
            // Several links must all see the new content; a file this
            // process may not write is refused as "wb" would refuse it.
            return S_ISREG(target.status.st_mode) && target.status.st_nlink == 1 && access(path.c_str(), W_OK) == 0;
        }
        std::string link(static_cast<std::size_t>(target.status.st_size) + 1, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size())
            return false;  // changed under us: leave it to "wb"
        link.resize(static_cast<std::size_t>(length));
        if (link[0] != '/')
            link.insert(0, folderPrefix(path));
        path = link;
    }
    return false;
}

// Gives the temporary file the target's owner, group and mode bits, or what
// "wb" gives a new file; false when the owner or group cannot be kept.
bool matchTarget(int fd, const Target& target)
{
    if (!target.exists) {
        const mode_t mask = umask(0);
        umask(mask);
        return fchmod(fd, 0666 & ~mask) == 0;
    }
    struct stat created {};
    if (fstat(fd, &created) != 0)
        return false;
    if ((created.st_uid != target.status.st_uid || created.st_gid != target.status.st_gid) &&
        fchown(fd, target.status.st_uid, target.status.st_gid) != 0)
        return false;
    // After the owner: changing it may clear the set-id bits.
    return fchmod(fd, target.status.st_mode & 07777) == 0;
}
#endif

std::FILE* streamOn(int fd)
{
#ifdef _WIN32
    return _fdopen(fd, "wb");
#else
    return fdopen(fd, "wb");
#endif
}

bool renameOver(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void discardTemporary(OutputFile& output)
{
    if (output.replacing())
        (void)std::remove(output.temporaryName.c_str());  // nothing more can be done if it stays
    output.temporaryName.clear();
}

}  // namespace

OutputFile::~OutputFile()
{
    if (stream != nullptr)
        (void)std::fclose(stream);  // abandoned: what it held is not wanted
    discardTemporary(*this);
}

int prepareOutput(const std::string& name, OutputFile& output)
{
    output.name = name;
    Target target;
    if (!findTarget(name, target))
        return 0;
    output.targetName = target.name;

    std::string temporaryName;
    const int fd = createTemporary(target.name, temporaryName);
    if (fd < 0) {
        // No room for even an empty file: writing over the target would
        // only cut it. Anything else (a folder without write permission, a
        // missing folder) is left to "wb", which fails or works as it would.
        const int error = errno;
#ifdef EDQUOT
        if (error == EDQUOT)
            return error;
#endif
        return error == ENOSPC ? error : 0;
    }
    std::FILE* stream = matchTarget(fd, target) ? streamOn(fd) : nullptr;
    if (stream == nullptr) {
        closeDescriptor(fd);
        (void)std::remove(temporaryName.c_str());  // empty; nothing is lost if it stays
        return 0;
    }
    output.temporaryName = temporaryName;
    output.stream = stream;
    return 0;
}

int openDirectly(OutputFile& output)
{
    output.stream = std::fopen(output.name.c_str(), "wb");
    return output.stream != nullptr ? 0 : errno;
}

bool finishOutput(OutputFile& output, OutputStep& failedStep, int& error)
{
    errno = 0;
    const bool flushed = std::fflush(output.stream) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(output.stream) == 0;
    const int closeError = errno;
    output.stream = nullptr;

    if (!flushed || !closed) {
        failedStep = flushed ? OutputStep::Close : OutputStep::Write;
        error = flushed ? closeError : flushError;
        discardTemporary(output);
        return false;
    }
    if (!output.replacing())
        return true;
    errno = 0;
    if (renameOver(output.temporaryName, output.targetName)) {
        output.temporaryName.clear();
        return true;
    }
    failedStep = OutputStep::Write;
    error = errno;
    discardTemporary(output);
    return false;
}
