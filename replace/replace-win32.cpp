// Replacing a file with Win32 calls. ReplaceFileW keeps its attributes, ACL, streams and creation time.
#include "replace.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <sys/stat.h>
#include <windows.h>

// The new content's name has one owner: the first of the replacement's end, exit() and the console's handler
// (Ctrl-C, Ctrl-Break, the console closing; it runs on a thread of its own) to take it removes it.
enum : LONG { NoName, NameKept, NameMoving };
static volatile LONG keptState = NoName;
static wchar_t keptName[32768];  // the longest name Windows takes

static BOOL WINAPI removeKeptName(DWORD = 0)
{
    LONG was = NoName;
    while ((was = InterlockedCompareExchange(&keptState, NoName, NameKept)) == NameMoving)
        Sleep(1);  // a commit is moving the name
    if (was == NameKept)
        (void)DeleteFileW(keptName);
    return FALSE;  // the system's own handler then ends the process
}

static Result lastError()
{
    static const DWORD codes[] = {
        ERROR_FILE_NOT_FOUND,   ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,  ERROR_SHARING_VIOLATION, ERROR_DISK_FULL,
        ERROR_HANDLE_DISK_FULL, ERROR_FILE_EXISTS,    ERROR_ALREADY_EXISTS, ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY};
    static const int results[] = {ENOENT, EACCES, ENOSPC, EEXIST, ENOMEM, EIO};  // one for two codes; EIO for any other
    return results[(std::find(std::begin(codes), std::end(codes), GetLastError()) - std::begin(codes)) / 2];
}

// A full path (ReplaceFileW wants one, wine refuses relative ones) with \\?\, which lifts the MAX_PATH limit.
static std::wstring systemName(const std::string& path)
{
    std::wstring name(MultiByteToWideChar(CP_UTF8, 0, path.data(), path.size(), nullptr, 0), L'\0');
    (void)MultiByteToWideChar(CP_UTF8, 0, path.data(), path.size(), name.data(), name.size());
    std::wstring full(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty() || GetFullPathNameW(name.c_str(), full.size(), full.data(), nullptr) + 1 != full.size())
        return name;
    full.pop_back();
    if (full.compare(0, 4, L"\\\\.\\") == 0 || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;                                       // a device's (\\.\NUL), or one with the prefix
    const bool shared = full.compare(0, 2, L"\\\\") == 0;  // \\server\share\name
    return (shared ? L"\\\\?\\UNC" : L"\\\\?\\") + full.substr(shared ? 1 : 0);
}

static Result closeFile(HANDLE& file)
{
    const HANDLE open = std::exchange(file, INVALID_HANDLE_VALUE);
    if (open == INVALID_HANDLE_VALUE || CloseHandle(open))
        return 0;
    return lastError();  // checked where the file was written: a full disk may show only here
}

static FileState stateOf(const BY_HANDLE_FILE_INFORMATION& file)
{
    const FILETIME& written = file.ftLastWriteTime;  // Windows keeps no change time apart from it
    return {file.dwVolumeSerialNumber, (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow,
            (std::uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow,
            static_cast<std::int64_t>((std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime), 0};
}

struct ReplacementState {
    enum class Way { Replace, Create, Direct } way = Way::Direct;
    std::wstring target;                          // the file's own full name, links followed
    HANDLE targetFile = INVALID_HANDLE_VALUE;     // open for writing, not cut
    HANDLE temporaryFile = INVALID_HANDLE_VALUE;  // the new content, named keptName, until it is closed
    BY_HANDLE_FILE_INFORMATION opened{};          // the target as it was opened
    bool disk = false;                            // the target is a file, not a device
    ~ReplacementState()
    {
        (void)closeFile(temporaryFile);
        (void)closeFile(targetFile);  // never written, or the run failed already
        (void)removeKeptName();       // the new content's name is never the output's
    }
};

using Way = ReplacementState::Way;

Replacement::Replacement() = default;
Replacement::~Replacement() = default;

Result Replacement::open(const std::string& name, const FileState* mustBe)
{
    [[maybe_unused]] static const bool owned =
        (std::atexit([] { (void)removeKeptName(); }), SetConsoleCtrlHandler(removeKeptName, TRUE));
    state_ = std::make_unique<ReplacementState>();
    ReplacementState& s = *state_;
    s.target = systemName(name);
    // As ">" opens it, less the cut, a link followed: it can be neither renamed nor removed meanwhile.
    s.targetFile = CreateFileW(s.target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    const bool exists = s.targetFile != INVALID_HANDLE_VALUE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
        return lastError();                                          // a missing folder among them
    s.disk = exists && GetFileType(s.targetFile) == FILE_TYPE_DISK;  // not NUL, CON, nor /dev under wine
    if (s.disk && !GetFileInformationByHandle(s.targetFile, &s.opened))
        return lastError();
    if (mustBe != nullptr && (!exists || !(stateOf(s.opened) == *mustBe)))
        return Result::changedMeanwhile;
    // The file itself is replaced, not a link to it, under the name the system tells for it (\\?\C:\folder\name).
    if (s.disk) {
        s.target.assign(32768, L'\0');  // the longest name Windows takes, and its end
        s.target.resize(GetFinalPathNameByHandleW(s.targetFile, s.target.data(), 32768, FILE_NAME_NORMALIZED));
    }
    if ((exists && (!s.disk || s.opened.nNumberOfLinks > 1)) || s.target.empty() || s.target.size() >= 32768)
        return 0;  // written directly: a device, a file whose every name must see the new content, or one unnamed
    // ".font.bin.PID.N" beside the target, a long name shortened; its removal shared, for the console's handler.
    const std::size_t base = s.target.find_last_of(L'\\') + 1;
    std::size_t length = std::min<std::size_t>(s.target.size() - base, 200);
    if (base + length < s.target.size() && IS_LOW_SURROGATE(s.target[base + length]))
        --length;
    for (int attempt = 0; s.temporaryFile == INVALID_HANDLE_VALUE; ++attempt) {
        const std::wstring temporary = s.target.substr(0, base) + L"." + s.target.substr(base, length) + L"." +
                                       std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt);
        keptName[temporary.copy(keptName, std::size(keptName) - 1)] = L'\0';  // not yet kept: nothing removes it
        s.temporaryFile = CreateFileW(keptName, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, 0, nullptr);
        if (s.temporaryFile == INVALID_HANDLE_VALUE && exists && GetLastError() == ERROR_ACCESS_DENIED)
            return 0;  // a folder that takes no new file: the target itself is written
        if (s.temporaryFile == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt == 99))
            return lastError();
    }
    InterlockedExchange(&keptState, NameKept);
    s.way = exists ? Way::Replace : Way::Create;
    return 0;
}

bool Replacement::writesTarget() const
{
    return state_->way == Way::Direct;
}

Result Replacement::write(const void* bytes, std::size_t size)
{
    const HANDLE file = state_->way == Way::Direct ? state_->targetFile : state_->temporaryFile;
    DWORD done = 0;
    for (const char* next = static_cast<const char*>(bytes); size > 0; next += done, size -= done) {
        if (!WriteFile(file, next, std::min<std::size_t>(size, 1u << 30), &done, nullptr))
            return lastError();
        if (done == 0)
            return ENOSPC;
    }
    return 0;
}

Result Replacement::commit()
{
    const std::unique_ptr<ReplacementState> state = std::move(state_);  // ends, with what is left, on every way out
    ReplacementState& s = *state;
    if (s.way == Way::Direct && s.disk && !SetEndOfFile(s.targetFile))
        return lastError();
    if (s.way == Way::Direct)
        return closeFile(s.targetFile);  // the content is all there: only the cut and the close can fail now
    if (Result error = closeFile(s.temporaryFile))
        return error;  // the new content is closed, checked, before it takes a name

    BY_HANDLE_FILE_INFORMATION now{};  // held open, the target kept its name: it must still have one link, unwritten
    if (s.way == Way::Replace && (!GetFileInformationByHandle(s.targetFile, &now) || now.nNumberOfLinks != 1 ||
                                  !(stateOf(now) == stateOf(s.opened))))
        return Result::changedMeanwhile;
    (void)closeFile(s.targetFile);  // Windows replaces no file that is open without sharing its removal
    if (InterlockedCompareExchange(&keptState, NameMoving, NameKept) != NameKept)
        return EINTR;  // the console's handler has removed it: the process is ending
    bool placed = false;
    if (s.way == Way::Replace)
        placed = ReplaceFileW(s.target.c_str(), keptName, nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
    const bool oneCopy = s.way == Way::Replace && !placed && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    if (s.way == Way::Create || oneCopy)  // the old file gone: the new content takes its name, or stays, its one copy
        placed = MoveFileExW(keptName, s.target.c_str(), 0);  // a new name is taken only while it is free
    const Result error = lastError();  // of the call that failed, when none placed the new content
    InterlockedExchange(&keptState, (placed || oneCopy) ? NoName : NameKept);
    if (placed)
        return 0;
    if (error.error() == EEXIST || error.error() == ENOENT)
        return Result::changedMeanwhile;  // a name taken, or the target gone
    return error;
}

InputFile::~InputFile()
{
    auto file = reinterpret_cast<HANDLE>(file_);
    (void)closeFile(file);  // read only: nothing is lost
}

Result InputFile::open(const std::string& name)
{
    // Backup semantics open a folder too; the file may be replaced while it is read (in place).
    file_ = reinterpret_cast<std::intptr_t>(CreateFileW(systemName(name).c_str(), GENERIC_READ,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (reinterpret_cast<HANDLE>(file_) == INVALID_HANDLE_VALUE)
        return lastError();
    return 0;
}

Result InputFile::inspect()
{
    BY_HANDLE_FILE_INFORMATION information{};
    regular_ = GetFileType(reinterpret_cast<HANDLE>(file_)) == FILE_TYPE_DISK;
    if (regular_ && !GetFileInformationByHandle(reinterpret_cast<HANDLE>(file_), &information))
        return lastError();
    state_ = stateOf(information);
    left_ = state_.length;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : 0;
}

Result InputFile::read(std::uint8_t* bytes, std::size_t size, std::size_t& got)
{
    got = 0;
    while (got < size && (!regular_ || left_ > 0)) {
        const DWORD wanted = std::min<std::uint64_t>({size - got, regular_ ? left_ : size, 1u << 30});
        DWORD read = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file_), bytes + got, wanted, &read, nullptr) &&
            GetLastError() != ERROR_BROKEN_PIPE)  // a pipe shows its end as broken
            return lastError();
        if (read == 0)
            return regular_ ? EIO : 0;  // a regular file cut short meanwhile
        got += read;
        left_ -= regular_ ? read : 0;
    }
    return 0;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    struct _stat64 status {};
    if (first != second || _wstat64(systemName(first).c_str(), &status) != 0)
        return false;  // no file numbers to compare: one name, of a device or pipe
    return (status.st_mode & _S_IFMT) != _S_IFREG && (status.st_mode & _S_IFMT) != _S_IFDIR;
}
