// Replacing a file with Win32 calls. Names arrive in UTF-8 and reach every
// call as full wide paths; ReplaceFileW keeps the replaced file's attributes,
// ACL, streams and creation time, so nothing is copied by hand.
#include "replace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <windows.h>

// The C runtime's own parser of the command line, which its startup runs for
// wmain: CommandLineToArgvW would bring in shell32.dll.
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int wildcards, int* newMode);

struct ReplacementState {
    enum class Way { Replace, Create, Direct } way = Way::Direct;
    std::wstring target;                          // system names
    std::wstring temporary;                       // while the new content has a name beside the target
    std::wstring folder;                          // the target's, with a separator at its end
    HANDLE targetFile = INVALID_HANDLE_VALUE;     // open for writing, not cut
    HANDLE temporaryFile = INVALID_HANDLE_VALUE;  // the new content, until it is closed
    BY_HANDLE_FILE_INFORMATION opened{};          // the target as it was opened
    bool disk = false;                            // the target is a file, not a device
    std::uint64_t written = 0;
    ~ReplacementState();
};

namespace {

using Way = ReplacementState::Way;

int errnoOf(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND     ? ENOENT
           : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
           : error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL      ? ENOSPC
           : error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS      ? EEXIST
           : error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY   ? ENOMEM
                                                                              : EIO;
}

int lastError()
{
    return errnoOf(GetLastError());
}

// The name every call is given: a full path (ReplaceFileW wants one, and wine
// refuses relative ones), with the \\?\ prefix, which lifts the limit of
// MAX_PATH characters, on one that reaches it. Device names stay as they are.
std::wstring systemName(const std::string& path)
{
    std::wstring name(MultiByteToWideChar(CP_UTF8, 0, path.data(), path.size(), nullptr, 0), L'\0');
    (void)MultiByteToWideChar(CP_UTF8, 0, path.data(), path.size(), name.data(), name.size());
    std::wstring full(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty() || GetFullPathNameW(name.c_str(), full.size(), full.data(), nullptr) + 1 != full.size())
        return name;
    full.pop_back();
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\.\\") == 0 || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    return full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

// Checked where the file was written: a full disk may show only here.
int closeFile(HANDLE& file)
{
    const HANDLE open = file;
    file = INVALID_HANDLE_VALUE;
    return open == INVALID_HANDLE_VALUE || CloseHandle(open) ? 0 : lastError();
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& file)
{
    return (std::uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow;
}

// Windows keeps no change time apart from the write time.
FileState stateOf(const BY_HANDLE_FILE_INFORMATION& file)
{
    const FILETIME& written = file.ftLastWriteTime;
    return {file.dwVolumeSerialNumber, (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow, sizeOf(file),
            static_cast<std::int64_t>((std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime), 0};
}

// ".font.bin.PID.N" beside the target; a long name is shortened, at a
// character boundary, to stay within a name's limit.
std::wstring temporaryName(const std::string& name, std::size_t base, int attempt)
{
    std::size_t length = std::min<std::size_t>(name.size() - base, 200);
    while (base + length < name.size() && (static_cast<unsigned char>(name[base + length]) & 0xC0) == 0x80)
        --length;
    return systemName(name.substr(0, base) + "." + name.substr(base, length) + "." +
                      std::to_string(GetCurrentProcessId()) + "." + std::to_string(attempt));
}

// Held open without sharing its removal, the target kept its name; it must
// have one link still, and not have been written meanwhile.
int replaceTarget(ReplacementState& s)
{
    BY_HANDLE_FILE_INFORMATION now{};
    if (!GetFileInformationByHandle(s.targetFile, &now) || now.nNumberOfLinks != 1 ||
        !(stateOf(now) == stateOf(s.opened)))
        return ChangedMeanwhile;
    (void)closeFile(s.targetFile);  // Windows replaces no file that is open without sharing its removal
    if (ReplaceFileW(s.target.c_str(), s.temporary.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return error == ERROR_FILE_NOT_FOUND ? ChangedMeanwhile : errnoOf(error);
    // The old file is gone: the new content takes its name, or stays, the one copy.
    const int moved = MoveFileExW(s.temporary.c_str(), s.target.c_str(), 0) ? 0 : lastError();
    if (moved != 0)
        s.temporary.clear();
    return moved;
}

}  // namespace

ReplacementState::~ReplacementState()
{
    (void)closeFile(temporaryFile);
    (void)closeFile(targetFile);  // never written, or the run failed already
    // The temporary name is never the output's: it goes in any case.
    if (!temporary.empty())
        (void)DeleteFileW(temporary.c_str());
}

std::string failureText(int error)
{
    return error == ChangedMeanwhile ? "the file changed meanwhile" : std::strerror(error);
}

Replacement::Replacement() = default;
Replacement::~Replacement() = default;

int Replacement::open(const std::string& name, std::uint64_t, const FileState* mustBe)
{
    state_ = std::make_unique<ReplacementState>();
    ReplacementState& s = *state_;
    s.target = systemName(name);
    const std::size_t base = name.find_last_of("/\\:") + 1;  // 0 without a folder part
    s.folder = systemName(name.substr(0, base) + ".");
    s.folder += s.folder.back() == L'\\' ? L"" : L"\\";

    // As ">" opens it, less the cut: others may read and write it meanwhile,
    // but neither rename nor remove it.
    s.targetFile = CreateFileW(s.target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    const bool exists = s.targetFile != INVALID_HANDLE_VALUE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
        return lastError();  // a missing folder among them
    // Devices (NUL, CON, and what wine shows of /dev) are written directly.
    s.disk = exists && GetFileType(s.targetFile) == FILE_TYPE_DISK;
    if (s.disk && !GetFileInformationByHandle(s.targetFile, &s.opened))
        return lastError();
    if (mustBe != nullptr && (!exists || !(stateOf(s.opened) == *mustBe)))
        return ChangedMeanwhile;
    // Every name of a file with several links must see the new content.
    if (exists && (!s.disk || s.opened.nNumberOfLinks > 1))
        return 0;

    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        s.temporary = temporaryName(name, base, attempt);
        s.temporaryFile = CreateFileW(s.temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        error = s.temporaryFile == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    s.way = error != 0 ? Way::Direct : exists ? Way::Replace : Way::Create;
    if (error != 0)
        s.temporary.clear();  // another program's
    // A folder that takes no new file: the target itself is written.
    return error == 0 || (exists && error == ERROR_ACCESS_DENIED) ? 0 : errnoOf(error);
}

bool Replacement::writesTarget() const
{
    return state_->way == Way::Direct;
}

int Replacement::write(const void* bytes, std::size_t size)
{
    ReplacementState& s = *state_;
    const HANDLE file = s.way == Way::Direct ? s.targetFile : s.temporaryFile;
    for (const char* next = static_cast<const char*>(bytes); size > 0;) {
        DWORD done = 0;
        if (!WriteFile(file, next, std::min<std::size_t>(size, 1u << 30), &done, nullptr))
            return lastError();
        if (done == 0)
            return ENOSPC;
        next += done;
        size -= done;
        s.written += done;
    }
    return 0;
}

int Replacement::commit()
{
    ReplacementState& s = *state_;
    // A direct write's content is all there: only the cut and the close can fail
    // now. The new content is closed, checked, before it takes the target's name.
    int error = s.way == Way::Direct && s.disk && !SetEndOfFile(s.targetFile) ? lastError()
                : s.way == Way::Direct                                        ? closeFile(s.targetFile)
                                                                              : closeFile(s.temporaryFile);
    // A new name is taken only while it is free: a file made meanwhile is kept.
    if (error == 0 && s.way == Way::Create && !MoveFileExW(s.temporary.c_str(), s.target.c_str(), 0))
        error = lastError() == EEXIST ? ChangedMeanwhile : lastError();
    if (error == 0 && s.way == Way::Replace)
        error = replaceTarget(s);
    if (error == 0 && s.way != Way::Direct)
        s.temporary.clear();
    state_.reset();
    return error;
}

InputFile::~InputFile()
{
    auto file = reinterpret_cast<HANDLE>(file_);
    (void)closeFile(file);  // read only: nothing is lost
}

int InputFile::open(const std::string& name)
{
    // Backup semantics open a folder too, so that it is told as one; the
    // file may be replaced while it is read (in place).
    const HANDLE file =
        CreateFileW(systemName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    file_ = reinterpret_cast<std::intptr_t>(file);
    if (file == INVALID_HANDLE_VALUE)
        return error = lastError();
    BY_HANDLE_FILE_INFORMATION information{};
    regular_ = GetFileType(file) == FILE_TYPE_DISK;
    if (regular_ && !GetFileInformationByHandle(file, &information)) {
        failedStep = ReadStep::Length;
        return error = lastError();
    }
    state = stateOf(information);
    left_ = state.length;
    return error = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : 0;
}

std::size_t InputFile::read(std::uint8_t* bytes, std::size_t size)
{
    failedStep = ReadStep::Read;
    std::size_t have = 0;
    while (error == 0 && have < size && (!regular_ || left_ > 0)) {
        const std::size_t wanted = regular_ ? std::min<std::uint64_t>(size - have, left_) : size - have;
        DWORD got = 0;
        // A pipe shows its end as broken; a regular file cut short meanwhile ends early.
        if (!ReadFile(reinterpret_cast<HANDLE>(file_), bytes + have, static_cast<DWORD>(wanted), &got, nullptr))
            error = GetLastError() == ERROR_BROKEN_PIPE ? 0 : lastError();
        else if (got == 0)
            error = regular_ ? EIO : 0;
        if (got == 0)
            break;
        have += got;
        left_ -= regular_ ? got : 0;
    }
    return have;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    // No file numbers to compare: one name, of a device or pipe.
    struct _stat64 status {};
    if (first != second || _wstat64(systemName(first).c_str(), &status) != 0)
        return false;
    return (status.st_mode & _S_IFMT) != _S_IFREG && (status.st_mode & _S_IFMT) != _S_IFDIR;
}

std::vector<std::string> commandLine(int argc, char** argv)
{
    int count = 0;
    wchar_t** arguments[2] = {};  // and the environment
    int newMode = 0;              // as the startup passes it
    if (__wgetmainargs(&count, &arguments[0], &arguments[1], 0, &newMode) < 0 || count != argc)
        return {argv, argv + argc};
    std::vector<std::string> typed;
    for (int i = 0; i < count; ++i) {
        std::string text(WideCharToMultiByte(CP_UTF8, 0, arguments[0][i], -1, nullptr, 0, nullptr, nullptr), '\0');
        (void)WideCharToMultiByte(CP_UTF8, 0, arguments[0][i], -1, text.data(), text.size(), nullptr, nullptr);
        typed.emplace_back(text.c_str());  // without the terminating zero
    }
    return typed;
}
