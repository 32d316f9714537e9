// Replacing a file with POSIX.1-2008 calls, in the order a run takes them.
// Names are resolved once, when the target is opened; later steps work from
// the target's descriptor and its folder's. extras.h adds what each system
// has beyond POSIX.
#include "extras.h"
#include "replace.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// macOS names the nanosecond times of a file otherwise.
#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

struct ReplacementState {
    enum class Way { Replace, Create, Direct, Descriptor } way = Way::Direct;
    std::string name;           // as the caller gave it
    int caller = -1;            // the caller's descriptor that the name leads to
    int target = -1;            // the target, open for writing, not cut
    int folder = -1;            // the target's folder
    int temporary = -1;         // the new content, until it is closed
    std::string base;           // the target's name in its folder
    std::string temporaryName;  // while the new content has a name beside the target
    struct stat opened {};      // the target as it was opened
    struct stat content {};     // the new content's file, as it was closed
    std::uint64_t length = 0;
    off_t written = 0;
    bool createdTarget = false;  // made by this run, and removed unless committed
    bool committed = false;
    bool holdingSignals = false;
    sigset_t signalsBefore{};
    ~ReplacementState();
};

namespace {

using Way = ReplacementState::Way;

int failure()
{
    return errno != 0 ? errno : EIO;
}

// A file system may report a full disk or quota only at the close.
int closeFile(int& fd)
{
    const int open = fd;
    fd = -1;
    return open < 0 || close(open) == 0 ? 0 : failure();
}

bool sameFile(const struct stat& one, const struct stat& other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

FileState stateOf(const struct stat& status)
{
    const auto nanoseconds = [](const struct timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

std::string folderPart(const std::string& path)
{
    const std::size_t last = path.rfind('/');
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

std::string basePart(const std::string& path)
{
    return path.substr(folderPart(path).size());
}

std::string realPath(const std::string& path)
{
    char* real = realpath(path.empty() ? "." : path.c_str(), nullptr);
    std::string result = real != nullptr ? real : "";
    std::free(real);
    return result;
}

// What the link `path` holds; "" when it is no link.
std::string readLink(const std::string& path)
{
    char link[4096];  // PATH_MAX on Linux, more than on macOS
    const ssize_t length = readlink(path.c_str(), link, sizeof link);
    return length > 0 && static_cast<std::size_t>(length) < sizeof link
               ? std::string(link, static_cast<std::size_t>(length))
               : "";
}

// Told by what it resolves to, so that a /proc of another PID namespace,
// where this process has another number, is still recognised.
bool isDescriptorFolder(const std::string& folder)
{
    const std::string real = realPath(folder);
    for (const char* const* known = descriptorFolders; !real.empty() && *known != nullptr; ++known)
        if (real == realPath(*known))
            return true;
    return false;
}

// N when `name` leads, link by link, to entry N of a folder of this
// process's descriptors (/dev/fd/N, /dev/stdout), else -1.
int descriptorNumber(const std::string& name)
{
    std::string path = name;
    for (int hop = 0; hop < 40; ++hop) {
        const std::string base = basePart(path);
        if (!base.empty() && base.size() < 10 && base.find_first_not_of("0123456789") == std::string::npos &&
            isDescriptorFolder(folderPart(path)))
            return static_cast<int>(std::strtol(base.c_str(), nullptr, 10));
        std::string link = readLink(path);
        if (link.empty())
            return -1;
        if (link[0] != '/')
            link.insert(0, folderPart(path));
        path = link;
    }
    return -1;
}

// Every signal that can be held is held while the target or a name beside
// it is part-written, so that Ctrl-C or kill waits until it is whole or
// gone; only a regular file is written then, which never blocks.
void holdSignals(ReplacementState& s)
{
    sigset_t all;
    sigfillset(&all);
    if (!s.holdingSignals)
        s.holdingSignals = sigprocmask(SIG_BLOCK, &all, &s.signalsBefore) == 0;
}

bool nameLeadsToTarget(const ReplacementState& s, const char* name)
{
    struct stat named {};
    return fstatat(s.folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, s.opened);
}

// The target is still the file that was opened, with one link, unwritten.
// A rename of its own changes its change time, so that is compared only
// before one.
bool targetUnchanged(const ReplacementState& s, bool beforeRename)
{
    struct stat now {};
    if (fstat(s.target, &now) != 0 || now.st_nlink != 1)
        return false;
    FileState state = stateOf(now);
    if (!beforeRename)
        state.changed = stateOf(s.opened).changed;
    return state == stateOf(s.opened);
}

// Opens the folder the target is in, where the new content is made and
// renamed; a link is followed to the file's own folder. False when that
// cannot be told for sure.
bool openFolder(ReplacementState& s)
{
    std::string path = s.name;
    for (int attempt = 0; attempt < 2; ++attempt) {
        s.base = basePart(path);
        const std::string folder = folderPart(path).empty() ? "." : folderPart(path);
        (void)closeFile(s.folder);
        s.folder = openFolderForNames(folder.c_str());
        if (s.folder < 0)
            s.folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (s.base.empty() || s.folder < 0)
            return false;
        if (s.target < 0 || nameLeadsToTarget(s, s.base.c_str()))
            return true;
        path = realPath(s.name);
    }
    return false;
}

// A name beside the target that says what it is: ".font.bin.x7Qa2Z". A long
// name is shortened, at a character boundary, to stay within NAME_MAX.
std::string temporaryCandidate(const std::string& base)
{
    static std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(getpid()));
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::size_t length = std::min<std::size_t>(base.size(), 200);
    while (length > 0 && length < base.size() && (static_cast<unsigned char>(base[length]) & 0xC0) == 0x80)
        --length;  // not inside a UTF-8 sequence
    std::string name = "." + base.substr(0, length) + ".";
    for (int i = 0; i < 6; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

// The file the new content is written to, in the target's folder: one for
// a new target gets what the system gives a new file (the folder's default
// ACL, or the mode less the umask); one for an existing target can be
// opened by nobody else until it has the target's attributes. -1, with
// errno, when there is none.
int makeTemporary(ReplacementState& s, bool newFile)
{
    // In an append-only folder no name could be removed again.
    if (isAppendOnly(s.folder)) {
        errno = EPERM;
        return -1;
    }
    const mode_t mode = newFile ? 0666 : 0600;
    const int unnamed = openUnnamedFile(s.folder, mode);
    if (unnamed >= 0)
        return unnamed;
    holdSignals(s);  // it has a name from its first moment
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryCandidate(s.base);
        const int fd = openat(s.folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            s.temporaryName = name;
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the empty temporary file what ">" leaves on the target: owner and
// group, the system's extras, then the mode bits. False when it may not
// have one of them.
bool giveAttributes(ReplacementState& s)
{
    const struct stat& target = s.opened;
    struct stat made {};
    if (fstat(s.temporary, &made) != 0)
        return false;
    // Owner first: changing it clears set-id bits and file capabilities.
    if ((made.st_uid != target.st_uid || made.st_gid != target.st_gid) &&
        fchown(s.temporary, target.st_uid, target.st_gid) != 0)
        return false;
    if (!giveExtraAttributes(s.target, s.temporary))
        return false;
    // The system drops a set-group-ID bit it does not grant.
    if (fchmod(s.temporary, target.st_mode & 07777) != 0 || fstat(s.temporary, &made) != 0 ||
        (made.st_mode & 07777) != (target.st_mode & 07777))
        return false;
    // Cut as ">" cuts: the system clears the set-id bits of a writer that
    // may not keep them, as it would on the target.
    return ftruncate(s.temporary, 0) == 0;
}

// A file size limit or a full disk would stop the writes part-way: both
// are met before the first byte.
int checkRoom(int fd, std::uint64_t length)
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && length > limit.rlim_cur)
        return EFBIG;
    const int held = holdSpace(fd, static_cast<off_t>(length));
    return held == ENOSPC || held == EDQUOT ? held : 0;
}

// The target itself is written, from its start: a device, pipe or FIFO, a
// file with several links, or one that no temporary file can stand in for.
// A missing one is made now, and removed again unless committed.
int writeDirectly(ReplacementState& s)
{
    s.way = Way::Direct;
    if (s.target < 0) {
        s.target = open(s.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (s.target < 0 || fstat(s.target, &s.opened) != 0)
            return failure();
        s.createdTarget = true;
    }
    return 0;
}

int writeAll(int fd, const void* bytes, std::size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = write(fd, next, size);
        if (written <= 0)
            return written < 0 ? failure() : EIO;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// Closes the new content's file, checked, before it takes any name of the
// target's; an unnamed one is named beside the target first.
int closeContent(ReplacementState& s)
{
    holdSignals(s);
    for (int attempt = 0; s.temporaryName.empty(); ++attempt) {
        const std::string name = temporaryCandidate(s.base);
        const int error = nameUnnamedFile(s.temporary, s.folder, name.c_str());
        if (error == 0)
            s.temporaryName = name;
        else if (error != EEXIST || attempt == 100)
            return error;
    }
    return fstat(s.temporary, &s.content) == 0 ? closeFile(s.temporary) : failure();
}

// A new target takes its name only while the name is free: a file made
// meanwhile is another program's.
int publishNewFile(ReplacementState& s)
{
    if (int error = closeContent(s))
        return error;
    const char* from = s.temporaryName.c_str();
    const char* to = s.base.c_str();
    int error = renameIfFree(s.folder, from, to);
    if (error != 0 && error != EEXIST) {
        // A link, too, takes only a free name; the temporary name goes at the end.
        error = linkat(s.folder, from, s.folder, to, 0) == 0 ? 0 : failure();
        struct stat taken {};
        if (error != 0 && error != EEXIST) {
            // A file system without links (FAT, EPERM or EMLINK): the name is
            // checked just before the rename.
            error = fstatat(s.folder, to, &taken, AT_SYMLINK_NOFOLLOW) == 0 ? EEXIST
                    : errno != ENOENT                                       ? failure()
                    : renameat(s.folder, from, s.folder, to) == 0           ? 0
                                                                            : failure();
            if (error == 0)
                s.temporaryName.clear();
        }
    } else if (error == 0) {
        s.temporaryName.clear();
    }
    return error == EEXIST ? ChangedMeanwhile : error;
}

// Only the cut and the close can fail a direct write after its last byte.
int endDirectWrite(ReplacementState& s)
{
    if (S_ISREG(s.opened.st_mode) && ftruncate(s.target, s.written) != 0)
        return failure();
    return closeFile(s.target);
}

// The system keeps the target where it is (a mount point, a sticky folder):
// the new content is copied over it from its start, as a direct write.
int copyOverTarget(ReplacementState& s)
{
    int from = openat(s.folder, s.temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat reopened {};
    int error = from < 0 || fstat(from, &reopened) != 0 ? failure() : 0;
    if (error == 0 && (!sameFile(reopened, s.content) || !targetUnchanged(s, true)))
        error = ChangedMeanwhile;
    if (error == 0)
        error = checkRoom(s.target, s.length);
    char buffer[1 << 16];
    for (ssize_t got = 1; error == 0 && got > 0;) {
        got = read(from, buffer, sizeof buffer);
        error = got < 0 ? failure() : writeAll(s.target, buffer, static_cast<std::size_t>(got));
    }
    (void)closeFile(from);
    return error == 0 ? endDirectWrite(s) : error;
}

// A refusal for where the target is, not a fault: a mount point, another
// file system, a sticky folder, an append-only one.
bool isRefusedRename(int error)
{
    return error == EBUSY || error == EXDEV || error == EPERM || error == EACCES;
}

// Puts the new content in the existing target's place, only if the name
// still leads to the file that was opened, unchanged.
int replaceTarget(ReplacementState& s)
{
    if (int error = closeContent(s))
        return error;
    if (!targetUnchanged(s, true))
        return ChangedMeanwhile;
    const char* temporary = s.temporaryName.c_str();
    const char* target = s.base.c_str();
    // Exchanged, the old name's file comes out under the temporary name: it
    // goes if it is the file opened, else it is put back.
    int error = exchangeNames(s.folder, temporary, target);
    if (error == 0) {
        if (nameLeadsToTarget(s, temporary) && targetUnchanged(s, false)) {
            (void)unlinkat(s.folder, temporary, 0);  // the old file; nothing more to do if it stays
            s.temporaryName.clear();
            return 0;
        }
        if (exchangeNames(s.folder, temporary, target) != 0)
            s.temporaryName.clear();  // the other program's file keeps that name: never removed
        return ChangedMeanwhile;
    }
    // Without an exchange, the name is checked just before the rename.
    if (!isRefusedRename(error)) {
        if (!nameLeadsToTarget(s, target))
            return ChangedMeanwhile;
        error = renameat(s.folder, temporary, s.folder, target) == 0 ? 0 : failure();
        if (error == 0)
            s.temporaryName.clear();
    }
    if (error == ENOENT)
        return ChangedMeanwhile;
    return isRefusedRename(error) ? copyOverTarget(s) : error;
}

}  // namespace

ReplacementState::~ReplacementState()
{
    // The temporary name is never the output's: it goes in any case.
    (void)unlinkat(folder, temporaryName.c_str(), 0);
    struct stat named {};
    if (createdTarget && !committed && lstat(name.c_str(), &named) == 0 && sameFile(named, opened))
        (void)unlink(name.c_str());
    (void)closeFile(temporary);
    (void)closeFile(target);
    (void)closeFile(folder);
    // A signal that came meanwhile ends the run only now.
    if (holdingSignals)
        (void)sigprocmask(SIG_SETMASK, &signalsBefore, nullptr);
}

std::string failureText(int error)
{
    return error == ChangedMeanwhile ? "the file changed meanwhile" : std::strerror(error);
}

Replacement::Replacement() = default;
Replacement::~Replacement() = default;

int Replacement::open(const std::string& name, std::uint64_t length, const FileState* mustBe)
{
    state_ = std::make_unique<ReplacementState>();
    ReplacementState& s = *state_;
    s.name = name;
    s.length = length;

    // /dev/stdout and its kind: reopening would cut what the caller opened,
    // or write over it from its start. The program opens nothing for
    // writing before this, so a descriptor open for writing is the caller's;
    // one that is not (a program's own input among them) is refused.
    const int number = descriptorNumber(name);
    const int access = number >= 0 ? fcntl(number, F_GETFL) : -1;
    if (number >= 0 && (access < 0 || (access & O_ACCMODE) == O_RDONLY))
        return EBADF;
    if (number >= 0) {
        // The system follows the links once more, with its rules for links
        // in sticky folders, and must arrive at the same file.
        struct stat named {};
        struct stat held {};
        if (stat(name.c_str(), &named) != 0 || fstat(number, &held) != 0)
            return failure();
        s.way = Way::Descriptor;
        s.caller = number;
        return sameFile(named, held) ? 0 : ChangedMeanwhile;
    }

    // Whether there is a file, without opening it yet: a FIFO would wait for
    // a reader. A link that leads nowhere yet makes the file it leads to, as
    // ">" does, where the system allows it.
    struct stat status {};
    const bool exists = stat(name.c_str(), &status) == 0;
    if (!exists && errno != ENOENT)
        return failure();
    if (exists || (lstat(name.c_str(), &status) == 0 && S_ISLNK(status.st_mode))) {
        s.target = ::open(name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
        if (s.target < 0 || fstat(s.target, &s.opened) != 0)
            return failure();
    }
    if (mustBe != nullptr && (s.target < 0 || !(stateOf(s.opened) == *mustBe)))
        return ChangedMeanwhile;

    // Every name of a file with several links must see the new content; a
    // device or pipe has nothing to replace.
    if (s.target >= 0 && (!S_ISREG(s.opened.st_mode) || s.opened.st_nlink > 1))
        return writeDirectly(s);
    const bool newFile = s.target < 0;
    if (openFolder(s)) {
        s.temporary = makeTemporary(s, newFile);
        if (s.temporary < 0 && errno != EACCES && errno != EPERM && errno != EROFS)
            return failure();
    }
    if (s.temporary >= 0 && (newFile || giveAttributes(s))) {
        s.way = newFile ? Way::Create : Way::Replace;
        return 0;
    }
    // The folder takes no new file, or the target's attributes cannot be
    // given to one: the target itself is written.
    (void)unlinkat(s.folder, s.temporaryName.c_str(), 0);  // where it has a name
    s.temporaryName.clear();
    (void)closeFile(s.temporary);
    return writeDirectly(s);
}

bool Replacement::writesTarget() const
{
    return state_->way == Way::Direct || state_->way == Way::Descriptor;
}

int Replacement::write(const void* bytes, std::size_t size)
{
    ReplacementState& s = *state_;
    const int fd = s.way == Way::Descriptor ? s.caller : s.way == Way::Direct ? s.target : s.temporary;
    const bool regular = s.way != Way::Descriptor && (s.way != Way::Direct || S_ISREG(s.opened.st_mode));
    const int room = regular && s.written == 0 ? checkRoom(fd, s.length) : 0;
    if (room != 0)
        return room;
    if (s.way == Way::Direct && regular)
        holdSignals(s);
    const int error = writeAll(fd, bytes, size);
    s.written += error == 0 ? static_cast<off_t>(size) : 0;
    return error;
}

int Replacement::commit()
{
    ReplacementState& s = *state_;
    const int error = s.way == Way::Descriptor ? 0
                      : s.way == Way::Direct   ? endDirectWrite(s)
                      : s.way == Way::Create   ? publishNewFile(s)
                                               : replaceTarget(s);
    s.committed = error == 0;
    state_.reset();
    return error;
}

InputFile::~InputFile()
{
    int fd = static_cast<int>(file_);
    (void)closeFile(fd);  // read only: nothing is lost
}

int InputFile::open(const std::string& name)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    file_ = fd;
    struct stat status {};
    if (fd < 0)
        return error = failure();
    if (fstat(fd, &status) != 0) {
        failedStep = ReadStep::Length;
        return error = failure();
    }
    regular_ = S_ISREG(status.st_mode);
    state = stateOf(status);
    left_ = state.length;
    return error = S_ISDIR(status.st_mode) ? EISDIR : 0;
}

std::size_t InputFile::read(std::uint8_t* bytes, std::size_t size)
{
    failedStep = ReadStep::Read;
    std::size_t have = 0;
    while (error == 0 && have < size && (!regular_ || left_ > 0)) {
        const std::size_t wanted = regular_ ? std::min<std::uint64_t>(size - have, left_) : size - have;
        const ssize_t got = ::read(static_cast<int>(file_), bytes + have, wanted);
        if (got <= 0) {
            error = got < 0 ? failure() : regular_ ? EIO : 0;  // a regular file cut short meanwhile
            break;
        }
        have += static_cast<std::size_t>(got);
        left_ -= regular_ ? static_cast<std::uint64_t>(got) : 0;
    }
    return have;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    struct stat one {};
    struct stat other {};
    return stat(first.c_str(), &one) == 0 && stat(second.c_str(), &other) == 0 && !S_ISREG(one.st_mode) &&
           !S_ISDIR(one.st_mode) && sameFile(one, other);
}

std::vector<std::string> commandLine(int argc, char** argv)
{
    return {argv, argv + argc};
}
