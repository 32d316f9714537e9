// The calls behind output_system.h on Windows. Files are reached by name,
// through the wide calls, so that names longer than MAX_PATH work as well;
// ReplaceFileW keeps the replaced file's attributes, ACL, streams and
// creation time, so nothing is copied by hand.
#include "output_system.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#ifndef REPLACEFILE_IGNORE_ACL_ERRORS
#define REPLACEFILE_IGNORE_ACL_ERRORS 0x00000004
#endif

struct OutputSystem {
    std::string name;           // as the user gave it
    int target = -1;            // the target, open for writing, not cut
    int temporary = -1;         // the new content, until it is in place
    std::string folderName;     // the target's folder, "" for the current one
    std::string targetBase;     // the target's name within its folder
    std::string temporaryName;  // name of the temporary file, while it has one
    bool regular = false;       // the target is a file on disk
    bool createdTarget = false;
    bool kept = false;
};

namespace {

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        (void)_close(fd);  // every write was checked as it was made
    fd = -1;
}

int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    default:
        return EIO;
    }
}

std::string targetPath(const OutputSystem& system)
{
    return system.folderName + system.targetBase;
}

std::string temporaryPath(const OutputSystem& system)
{
    return system.folderName + system.temporaryName;
}

// The name every call is given: the user's narrow name read in the ANSI
// code page, as the C runtime reads it, made a full path (ReplaceFileW wants
// one, and wine refuses relative ones). A full path of MAX_PATH characters
// or more takes the \\?\ prefix, which lifts that limit; shorter ones are
// read by the system as ever, device names (NUL, CON) included.
std::wstring systemName(const std::string& path)
{
    std::wstring wide;
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    if (length > 0) {
        wide.resize(static_cast<std::size_t>(length));
        (void)MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), length);
    }
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (got == 0)
            return wide;
        const bool fitted = got < full.size();
        full.resize(got);
        if (fitted)
            break;
    }
    // Already a device (\\.\) or prefixed (\\?\) path: as it is.
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\.\\") == 0 || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    return L"\\\\?\\" + full;
}

int openByName(int& fd, const std::string& name, int flags, int mode)
{
    if (_wsopen_s(&fd, systemName(name).c_str(), flags, _SH_DENYNO, mode) == 0)
        return 0;
    fd = -1;
    return errno;
}

void removeTemporaryName(OutputSystem& system)
{
    closeDescriptor(system.temporary);
    if (!system.temporaryName.empty() && DeleteFileW(systemName(temporaryPath(system)).c_str()))
        system.temporaryName.clear();
}

int writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int written = _write(fd, bytes, chunk);
        if (written <= 0)
            return written < 0 && errno != 0 ? errno : ENOSPC;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

void noteCallerDescriptors()
{
    // Windows has no names for open descriptors.
}

OutputSystem* newOutputSystem(const std::string& name)
{
    OutputSystem* system = new (std::nothrow) OutputSystem;
    if (system != nullptr)
        system->name = name;
    return system;
}

void OutputSystemRelease::operator()(OutputSystem* system) const
{
    closeDescriptor(system->target);
    removeTemporaryName(*system);  // nothing more to do if it stays
    if (!system->kept && system->createdTarget)
        (void)DeleteFileW(systemName(system->name).c_str());
    delete system;
}

int findCallerDescriptor(OutputSystem&, bool& found)
{
    found = false;
    return 0;
}

int openTarget(OutputSystem& system, TargetKind& kind)
{
    if (int error = openByName(system.target, system.name, _O_WRONLY | _O_BINARY | _O_NOINHERIT, 0)) {
        if (error != ENOENT)
            return error;
        kind = TargetKind::Missing;  // a missing folder fails when the file is made
        return 0;
    }
    // Devices (NUL, CON, and what wine shows of /dev) are written directly.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(system.target));
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        kind = TargetKind::Other;
        return 0;
    }
    if (!GetFileInformationByHandle(handle, &information))
        return errnoOf(GetLastError());
    system.regular = true;
    kind = information.nNumberOfLinks > 1 ? TargetKind::SeveralLinks : TargetKind::Regular;
    return 0;
}

int openFolder(OutputSystem& system, TargetKind, bool& found)
{
    system.folderName = folderPart(system.name, "/\\:");
    system.targetBase = basePart(system.name, "/\\:");
    found = !system.targetBase.empty();
    return 0;
}

int createTemporary(OutputSystem& system, bool, Temporary& result)
{
    result = Temporary::Created;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryCandidate(system.targetBase);
        const int error = openByName(system.temporary, system.folderName + name,
                                     _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (error == 0) {
            system.temporaryName = name;
            return 0;
        }
        if (error == EACCES) {
            result = Temporary::Refused;
            return 0;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

int giveAttributes(OutputSystem&, Attributes& result)
{
    result = Attributes::Given;  // ReplaceFileW carries them over
    return 0;
}

void dropTemporary(OutputSystem& system)
{
    removeTemporaryName(system);
}

int createTarget(OutputSystem& system)
{
    if (int error = openByName(system.target, system.name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                               _S_IREAD | _S_IWRITE))
        return error;
    system.regular = true;
    system.createdTarget = true;
    return 0;
}

int reserveSpace(OutputSystem&, std::uint64_t)
{
    return 0;  // the writes find out
}

int writeBytes(OutputSystem& system, WriteTo to, const void* bytes, std::size_t size)
{
    const int fd = to == WriteTo::Temporary ? system.temporary : system.target;
    return writeAll(fd, static_cast<const char*>(bytes), size);
}

int replaceTarget(OutputSystem& system, Placed& result)
{
    // Windows replaces no file that is open without sharing its deletion.
    closeDescriptor(system.temporary);
    closeDescriptor(system.target);
    if (ReplaceFileW(systemName(targetPath(system)).c_str(), systemName(temporaryPath(system)).c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
        system.temporaryName.clear();
        result = Placed::Done;
        return 0;
    }
    const DWORD error = GetLastError();
    // Both files keep their names: the content can still be copied over.
    const bool refused = error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                         error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    result = Placed::Refused;
    if (error == ERROR_FILE_NOT_FOUND)
        return ErrorTargetChanged;  // removed meanwhile
    return refused ? 0 : errnoOf(error);
}

int publishNewFile(OutputSystem& system)
{
    closeDescriptor(system.temporary);
    // Without MOVEFILE_REPLACE_EXISTING, a file made meanwhile is kept.
    if (!MoveFileExW(systemName(temporaryPath(system)).c_str(), systemName(targetPath(system)).c_str(), 0)) {
        const DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? ErrorTargetChanged : errnoOf(error);
    }
    system.temporaryName.clear();
    return 0;
}

int copyOverTarget(OutputSystem& system)
{
    if (int error = openByName(system.temporary, temporaryPath(system), _O_RDONLY | _O_BINARY, 0))
        return error;
    if (int error = openByName(system.target, targetPath(system), _O_WRONLY | _O_BINARY, 0))
        return error;
    const int from = system.temporary;
    const int to = system.target;
    std::vector<char> buffer;
    try {
        buffer.resize(std::size_t{1} << 16);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    for (;;) {
        const int got = _read(from, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        if (int error = writeAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return error;
    }
    const __int64 end = _telli64(to);
    return end >= 0 && _chsize_s(to, end) == 0 ? 0 : errno;
}

int endDirectWrite(OutputSystem& system, OutputStep& failedStep)
{
    failedStep = OutputStep::Write;
    if (system.regular) {
        const __int64 end = _telli64(system.target);
        if (end < 0 || _chsize_s(system.target, end) != 0)
            return errno;
    }
    failedStep = OutputStep::Close;
    const int fd = system.target;
    system.target = -1;
    return _close(fd) == 0 ? 0 : errno;
}

void keepOutput(OutputSystem& system)
{
    system.kept = true;
}
