// The calls behind output_system.h on Windows. Files are reached by name;
// ReplaceFileA keeps the replaced file's attributes, ACL, streams and
// creation time, so nothing is copied by hand.
#include "output_system.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#ifndef REPLACEFILE_IGNORE_ACL_ERRORS
#define REPLACEFILE_IGNORE_ACL_ERRORS 0x00000004
#endif

namespace {

std::string folderPart(const std::string& path)
{
    const std::size_t last = path.find_last_of("/\\:");
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

std::string basePart(const std::string& path)
{
    const std::size_t last = path.find_last_of("/\\:");
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string temporaryCandidate(const std::string& base)
{
    static std::mt19937_64 random = [] {
        std::random_device device;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return std::mt19937_64((std::uint64_t{device()} << 32) ^ now);
    }();
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = "." + (base.size() > 200 ? base.substr(0, 200) : base) + ".";
    for (int i = 0; i < 6; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

void closeDescriptor(int& fd)
{
    if (fd >= 0)
        (void)_close(fd);  // already flushed through a stream of its own
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

std::string targetPath(const OutputHandles& handles)
{
    return handles.folderName + handles.targetBase;
}

// ReplaceFileA wants full paths (wine refuses relative ones).
std::string fullPath(const std::string& path)
{
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return path;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

}  // namespace

int findNamedDescriptor(const OutputHandles&, int& descriptor)
{
    descriptor = -1;  // Windows has no names for open descriptors
    return 0;
}

int openTarget(OutputHandles& handles, TargetKind& kind)
{
    if (_sopen_s(&handles.target, handles.name.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0) != 0) {
        handles.target = -1;
        if (errno != ENOENT)
            return errno;
        kind = TargetKind::Missing;  // a missing folder fails when the file is made
        return 0;
    }
    // Devices (NUL, CON, and what wine shows of /dev) are written directly.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(handles.target));
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        kind = TargetKind::Other;
    else if (!GetFileInformationByHandle(handle, &information))
        return errnoOf(GetLastError());
    else
        kind = information.nNumberOfLinks > 1 ? TargetKind::SeveralLinks : TargetKind::Regular;
    return 0;
}

int openFolder(OutputHandles& handles, TargetKind, bool& found)
{
    handles.folderName = folderPart(handles.name);
    handles.targetBase = basePart(handles.name);
    found = !handles.targetBase.empty();
    return 0;
}

int createTemporary(OutputHandles& handles, bool, Temporary& result)
{
    result = Temporary::Created;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryCandidate(handles.targetBase);
        if (_sopen_s(&handles.temporary, (handles.folderName + name).c_str(),
                     _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE) == 0) {
            handles.temporaryName = name;
            return 0;
        }
        handles.temporary = -1;
        if (errno == EACCES) {
            result = Temporary::Refused;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int keepAttributes(OutputHandles&, Attributes& result)
{
    result = Attributes::Kept;  // ReplaceFileA carries them over
    return 0;
}

int replaceTarget(OutputHandles& handles, Placed& result)
{
    // Windows replaces no file that is open without sharing its deletion.
    closeDescriptor(handles.temporary);
    closeDescriptor(handles.target);
    const std::string temporary = handles.folderName + handles.temporaryName;
    if (ReplaceFileA(fullPath(targetPath(handles)).c_str(), fullPath(temporary).c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
        handles.temporaryName.clear();
        result = Placed::Done;
        return 0;
    }
    const DWORD error = GetLastError();
    // Both files keep their names: the content can still be copied over.
    const bool refused = error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                         error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    result = Placed::Refused;
    return refused ? 0 : errnoOf(error);
}

int publishNewFile(OutputHandles& handles)
{
    closeDescriptor(handles.temporary);
    const std::string temporary = handles.folderName + handles.temporaryName;
    if (!MoveFileExA(temporary.c_str(), targetPath(handles).c_str(), 0))
        return errnoOf(GetLastError());
    handles.temporaryName.clear();
    return 0;
}

int writeOverTarget(OutputHandles& handles)
{
    closeDescriptor(handles.temporary);
    closeDescriptor(handles.target);
    int from = -1;
    int to = -1;
    if (_sopen_s(&from, (handles.folderName + handles.temporaryName).c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0) !=
        0)
        return errno;
    handles.temporary = from;
    if (_sopen_s(&to, targetPath(handles).c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY, _SH_DENYNO, 0) != 0)
        return errno;
    handles.target = to;
    std::vector<char> buffer(std::size_t{1} << 16);
    for (;;) {
        const int got = _read(from, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        if (_write(to, buffer.data(), static_cast<unsigned>(got)) != got)
            return errno != 0 ? errno : ENOSPC;
    }
}

int cutOrCreateTarget(OutputHandles& handles)
{
    if (handles.target < 0) {
        if (_sopen_s(&handles.target, handles.name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYNO,
                     _S_IREAD | _S_IWRITE) != 0) {
            handles.target = -1;
            return errno;
        }
        return 0;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(handles.target));
    if (GetFileType(handle) == FILE_TYPE_DISK && _chsize_s(handles.target, 0) != 0)
        return errno;
    return 0;
}

std::FILE* streamOnDescriptor(int descriptor)
{
    const int copy = _dup(descriptor);
    if (copy < 0)
        return nullptr;
    std::FILE* stream = _fdopen(copy, "wb");
    if (stream == nullptr)
        (void)_close(copy);
    return stream;
}

void releaseHandles(OutputHandles& handles)
{
    closeDescriptor(handles.temporary);
    closeDescriptor(handles.target);
    if (!handles.temporaryName.empty())
        (void)std::remove((handles.folderName + handles.temporaryName).c_str());  // nothing more to do if it stays
    handles.temporaryName.clear();
}
