// Replacing a file with POSIX.1-2008 calls, in the order a run takes them.
// Names are resolved once, when the target is opened; later steps work from
// the target's descriptor and its folder's. extras.h adds what each system
// has beyond POSIX; leftovers.h removes what a run made on every way out.
#include "extras.h"
#include "leftovers.h"
#include "replace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// macOS names the nanosecond times of a file otherwise.
#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

struct ReplacementState {
    // Through a new file beside the target; the target itself from its
    // start; or the caller's descriptor, from where it stands.
    enum class Way { Temporary, Direct, Descriptor } way = Way::Direct;
    std::string path;         // the name with its links followed: the target's own folder and name
    int target = -1;          // open for writing, not cut; the caller's descriptor for Way::Descriptor
    int folder = -1;          // the target's folder
    int content = -1;         // the new content's file, until it is closed
    std::string contentName;  // while the new content has a name beside the target
    struct stat opened {};    // the target as it was opened; st_mode 0 for a name that had no file
    struct stat made {};      // the new content's file as it was made
    off_t written = 0;
    bool holdingSignals = false;
    sigset_t signalsBefore{};
    ~ReplacementState();
};

namespace {

using Way = ReplacementState::Way;

Result failure()
{
    return errno != 0 ? errno : EIO;
}

// A file system may report a full disk or quota only at the close.
Result closeFile(int& fd)
{
    const int open = fd;
    fd = -1;
    if (open < 0 || close(open) == 0)
        return 0;
    return failure();
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

// Told by what it resolves to, so that a /proc of another PID namespace,
// where this process has another number, is still recognised.
bool isDescriptorFolder(const std::string& folder)
{
    char* real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    bool found = false;
    for (const char* const* known = descriptorFolders; real != nullptr && !found && *known != nullptr; ++known) {
        char* other = realpath(*known, nullptr);
        found = other != nullptr && std::string(real) == other;
        free(other);
    }
    free(real);
    return found;
}

// Follows `name` link by link to the file's own name, or to where a link
// that leads nowhere yet would make it; stops at a name of one of this
// process's descriptors (/dev/fd/N, /dev/stdout), and gives N.
std::string followLinks(const std::string& name, int& descriptor)
{
    std::string path = name;
    for (int hop = 0; hop < 40; ++hop) {
        const std::string base = basePart(path);
        if (!base.empty() && base.size() < 10 && base.find_first_not_of("0123456789") == std::string::npos &&
            isDescriptorFolder(folderPart(path))) {
            descriptor = std::stoi(base);
            return path;
        }
        char link[4096];  // PATH_MAX on Linux, more than on macOS
        const ssize_t length = readlink(path.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link)
            return path;
        std::string to(link, static_cast<std::size_t>(length));
        if (to[0] != '/')
            to.insert(0, folderPart(path));
        path = to;
    }
    return path;
}

// Held from the first byte of a direct write to its cut, and while names
// change hands: Ctrl-C then ends the run once the file is whole, or as it
// was. Never while the run waits for input or writes a new file.
void holdSignals(ReplacementState& s)
{
    sigset_t all;
    sigfillset(&all);
    if (!s.holdingSignals)
        s.holdingSignals = sigprocmask(SIG_BLOCK, &all, &s.signalsBefore) == 0;
}

// A signal that came meanwhile ends the run now.
void releaseSignals(ReplacementState& s)
{
    if (s.holdingSignals)
        (void)sigprocmask(SIG_SETMASK, &s.signalsBefore, nullptr);
    s.holdingSignals = false;
}

bool nameLeadsToTarget(const ReplacementState& s, const char* name)
{
    struct stat named {};
    return fstatat(s.folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, s.opened);
}

// The target is still the file that was opened, unwritten, with one link
// where it is to be replaced. A rename of its own changes its change time.
bool targetUnchanged(const ReplacementState& s, bool renamed = false)
{
    struct stat now {};
    if (fstat(s.target, &now) != 0 || (s.way == Way::Temporary && now.st_nlink != 1))
        return false;
    FileState state = stateOf(now);
    if (renamed)
        state.changed = stateOf(s.opened).changed;
    return state == stateOf(s.opened);
}

Result openFolder(ReplacementState& s)
{
    const std::string folder = folderPart(s.path).empty() ? "." : folderPart(s.path);
    if (s.folder < 0)
        s.folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (s.folder < 0 && errno == EACCES)
        return openUnreadableFolder(folder.c_str(), s.folder);
    return s.folder < 0 ? failure() : 0;
}

// ".font.bin.x7Qa2Z": a long name is shortened, at a character boundary,
// to stay within NAME_MAX.
std::string contentName(const std::string& base)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::uint64_t random =
        reinterpret_cast<std::uintptr_t>(&letters) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::size_t length = std::min<std::size_t>(base.size(), 200);
    while (length > 0 && length < base.size() && (static_cast<unsigned char>(base[length]) & 0xC0) == 0x80)
        --length;
    std::string name = "." + base.substr(0, length) + ".";
    for (int i = 0; i < 6; ++i) {
        random = random * 6364136223846793005ULL + 1442695040888963407ULL;
        name += letters[(random >> 33) % (sizeof letters - 1)];
    }
    return name;
}

// A name beside the target for the new content's file: one made now, or
// the unnamed one; kept by the owner of leftovers until it is handed over.
Result nameContent(ReplacementState& s, bool unnamed)
{
    Result error = EEXIST;
    for (int attempt = 0; attempt < 100 && error.error() == EEXIST; ++attempt) {
        const std::string name = contentName(basePart(s.path));
        if (unnamed) {
            error = nameUnnamedFile(s.content, s.folder, name.c_str());
        } else {
            s.content = openat(s.folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               s.opened.st_mode == 0 ? 0666 : 0600);
            error = s.content < 0 ? failure() : 0;
            if (!error && fstat(s.content, &s.made) != 0) {
                error = failure();
                (void)unlinkat(s.folder, name.c_str(), 0);  // this run's, untold yet
            }
        }
        if (!error) {
            s.contentName = name;
            keepLeftover(Leftover::Content, s.folder, name.c_str(), s.made);
        }
    }
    return error;
}

// The new content's file, in the target's folder: for a new target it gets
// what the system gives a new file (the folder's default ACL, or the mode
// less the umask); for an existing one nobody else can open it until it
// has the target's attributes.
Result makeContentFile(ReplacementState& s)
{
    if (!openUnnamedFile(s.folder, s.opened.st_mode == 0 ? 0666 : 0600, s.content))
        return resultOf(fstat(s.content, &s.made));
    return nameContent(s, false);
}

// What ">" leaves on the target: owner and group first (a change clears
// set-id bits and file capabilities), the system's extras, then the mode,
// which fails where the system drops a set-group-ID bit it does not grant.
Result giveAttributes(ReplacementState& s)
{
    const struct stat& target = s.opened;
    if ((s.made.st_uid != target.st_uid || s.made.st_gid != target.st_gid) &&
        fchown(s.content, target.st_uid, target.st_gid) != 0)
        return failure();
    if (Result error = giveExtraAttributes(s.target, s.content))
        return error;
    struct stat given {};
    if (fchmod(s.content, target.st_mode & 07777) != 0 || fstat(s.content, &given) != 0)
        return failure();
    if ((given.st_mode & 07777) != (target.st_mode & 07777))
        return EPERM;
    // Cut as ">" cuts: the system clears the set-id bits of a writer that
    // may not keep them, as it would on the target.
    if ((target.st_mode & (S_ISUID | S_ISGID)) == 0)
        return 0;
    return resultOf(ftruncate(s.content, 0));
}

// A file size limit would stop the writes part-way, with SIGXFSZ.
Result checkSizeLimit(off_t end)
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(end) > limit.rlim_cur)
        return EFBIG;
    return 0;
}

Result writeAll(int fd, const void* bytes, std::size_t size)
{
    for (const char* next = static_cast<const char*>(bytes); size > 0;) {
        const ssize_t written = write(fd, next, size);
        if (written <= 0)
            return written < 0 ? failure() : EIO;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// Copied on write, overwriting takes new blocks, which held space does not
// cover: the content goes to a file beside the target first, on its file
// system, whose blocks the target is then made to share (no new space).
// Where that cannot be, the free space must cover it all.
Result cloneOverTarget(ReplacementState& s, const void* bytes, std::size_t size, bool& cloned)
{
    struct stat copy {};
    if (!openFolder(s) && !openUnnamedFile(s.folder, 0600, s.content) && fstat(s.content, &copy) == 0 &&
        copy.st_dev == s.opened.st_dev) {
        // Whole blocks: a clone may end inside the target only at a block's end.
        const off_t blocks = (static_cast<off_t>(size) + copy.st_blksize - 1) / copy.st_blksize * copy.st_blksize;
        if (Result error = writeAll(s.content, bytes, size))
            return error;
        if (ftruncate(s.content, blocks) != 0)
            return failure();
        holdSignals(s);
        cloned = !cloneContent(s.target, s.content);
    }
    // Cut first: a failed close of what was written then fails a whole file.
    if (cloned && ftruncate(s.target, static_cast<off_t>(size)) != 0)
        return failure();
    if (Result error = closeFile(s.content); cloned && error)
        return error;
    struct statvfs space {};
    if (!cloned && fstatvfs(s.target, &space) == 0 &&
        static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < static_cast<std::uint64_t>(size))
        return ENOSPC;
    return 0;
}

// The whole content, over the target itself from its start, or from where
// the caller's descriptor stands. First the target must be as it was opened
// (glyphrot has read it since), and a file size limit or a full disk is met,
// with the file as it was.
Result writeTarget(ReplacementState& s, const void* bytes, std::size_t size)
{
    off_t offset = 0;
    if (s.way == Way::Descriptor) {
        const int flags = fcntl(s.target, F_GETFL);
        offset = lseek(s.target, 0, SEEK_CUR);
        if (flags >= 0 && (flags & O_APPEND) != 0)
            offset = s.opened.st_size;  // written at the end
        if (offset < 0)
            return failure();
    } else if (!targetUnchanged(s)) {
        return Result::changedMeanwhile;
    }
    if (Result error = checkSizeLimit(offset + static_cast<off_t>(size)))
        return error;
    Storage storage = Storage::InPlace;
    bool cloned = false;
    if (s.way == Way::Direct && !storageOf(s.target, storage) && storage == Storage::CopyOnWrite)
        if (Result error = cloneOverTarget(s, bytes, size, cloned))
            return error;
    const Result held = holdSpace(s.target, offset, static_cast<off_t>(size));
    if (!cloned && (held.error() == ENOSPC || held.error() == EDQUOT))
        return held;
    holdSignals(s);
    s.written = static_cast<off_t>(size);
    if (cloned)
        return 0;
    return writeAll(s.target, bytes, size);
}

// A new name is taken only while it is free: a file made meanwhile is
// another program's.
Result publishNewFile(ReplacementState& s)
{
    const char* from = s.contentName.c_str();
    const std::string to = basePart(s.path);
    Result error = renameIfFree(s.folder, from, to.c_str());
    if (error && error.error() != EEXIST) {
        // A link takes only a free name too; then the other name goes, or
        // the new one goes again: never two names.
        error = resultOf(linkat(s.folder, from, s.folder, to.c_str(), 0));
        const bool linked = !error;
        if (linked)
            error = resultOf(unlinkat(s.folder, from, 0));
        if (linked && error)
            (void)unlinkat(s.folder, to.c_str(), 0);
    }
    if (error.error() == EPERM || error.error() == EMLINK || error.error() == ENOSYS) {
        // A file system without links (FAT): the name is checked just before the rename.
        struct stat taken {};
        if (fstatat(s.folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
            return Result::changedMeanwhile;
        if (errno != ENOENT)
            return failure();
        error = resultOf(renameat(s.folder, from, s.folder, to.c_str()));
    }
    if (!error)
        handOver(Leftover::Content);
    return error.error() == EEXIST ? Result::changedMeanwhile : error;
}

// The system keeps the target where it is (a mount point, a sticky folder):
// the new content is written over it from its start, as a direct write.
Result copyOverTarget(ReplacementState& s)
{
    int from = openat(s.folder, s.contentName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat reopened {};
    Result error = 0;
    if (from < 0 || fstat(from, &reopened) != 0)
        error = failure();
    else if (!sameFile(reopened, s.made))
        error = Result::changedMeanwhile;
    std::string content(error ? 0 : static_cast<std::size_t>(reopened.st_size), '\0');
    for (std::size_t got = 0; !error && got < content.size();) {
        const ssize_t read = ::read(from, content.data() + got, content.size() - got);
        error = read < 0 ? failure() : read == 0 ? EIO : 0;
        got += read > 0 ? static_cast<std::size_t>(read) : 0;
    }
    (void)closeFile(from);
    s.way = Way::Direct;
    if (error)
        return error;
    return writeTarget(s, content.data(), content.size());
}

// A refusal for where the target is, not a fault: a mount point, another
// file system, a sticky folder.
bool isRefusedRename(Result error)
{
    return error.error() == EBUSY || error.error() == EXDEV || error.error() == EPERM || error.error() == EACCES;
}

// Puts the new content in the existing target's place, only if the name
// still leads to the file that was opened, unchanged.
Result replaceTarget(ReplacementState& s)
{
    if (!targetUnchanged(s))
        return Result::changedMeanwhile;
    const char* content = s.contentName.c_str();
    const std::string target = basePart(s.path);
    holdSignals(s);
    Result error = exchangeNames(s.folder, content, target.c_str());
    if (!error) {
        // The old name's file came out under the content's name: it goes if
        // it is the file opened, unchanged. Otherwise, or if it cannot be
        // removed, the two are exchanged back and the new content goes: a
        // run never leaves two files.
        error = Result::changedMeanwhile;
        if (nameLeadsToTarget(s, content) && targetUnchanged(s, true))
            error = resultOf(unlinkat(s.folder, content, 0));
        if (error && exchangeNames(s.folder, content, target.c_str()))
            handOver(Leftover::Content);  // another program's file keeps that name: never removed
    } else if (!isRefusedRename(error)) {
        // Without an exchange, the name is checked just before the rename.
        if (!nameLeadsToTarget(s, target.c_str()))
            return Result::changedMeanwhile;
        error = resultOf(renameat(s.folder, content, s.folder, target.c_str()));
    }
    if (!error)
        handOver(Leftover::Content);
    if (error.error() == ENOENT)
        return Result::changedMeanwhile;
    releaseSignals(s);  // until the copy's first byte
    if (isRefusedRename(error))
        return copyOverTarget(s);
    return error;
}

// The target itself is written, from its start: a device, pipe or FIFO, a
// file with several links, or one that no new file can stand in for. A
// missing one is made now, and removed again unless committed.
Result writeDirectly(ReplacementState& s)
{
    s.way = Way::Direct;
    const std::string base = basePart(s.path);
    if (s.target >= 0)
        return 0;
    s.target = openat(s.folder, base.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (s.target < 0 || fstat(s.target, &s.opened) != 0)
        return failure();
    keepLeftover(Leftover::CreatedTarget, s.folder, base.c_str(), s.opened);
    return 0;
}

// /dev/stdout and its kind: reopening would cut what the caller opened, or
// write over it from its start. The program opens nothing for writing
// before this, so a descriptor open for writing is the caller's; one that
// is not (a program's own input among them) is refused. The system follows
// the links once more, with its rules for links in sticky folders, and must
// arrive at the same file.
Result openDescriptor(ReplacementState& s, const std::string& name, int number)
{
    const int access = fcntl(number, F_GETFL);
    struct stat named {};
    if (access < 0 || (access & O_ACCMODE) == O_RDONLY)
        return EBADF;
    if (stat(name.c_str(), &named) != 0 || fstat(number, &s.opened) != 0)
        return failure();
    s.way = Way::Descriptor;
    s.target = number;
    return sameFile(named, s.opened) ? 0 : Result::changedMeanwhile;
}

// An in-place run's target is the file that was read, unwritten. Opening it
// for writing copies a lower layer's file up (overlayfs), which changes no
// more than its change time.
bool isFileRead(const ReplacementState& s, const FileState& read)
{
    FileState now = stateOf(s.opened);
    Storage storage = Storage::InPlace;
    if (now.changed != read.changed && !storageOf(s.target, storage) && storage == Storage::CopiedUpOnOpen)
        now.changed = read.changed;
    return now == read;
}

}  // namespace

ReplacementState::~ReplacementState()
{
    removeLeftover(Leftover::Content);
    removeLeftover(Leftover::CreatedTarget);
    (void)closeFile(content);
    if (way != Way::Descriptor)
        (void)closeFile(target);
    (void)closeFile(folder);
    releaseSignals(*this);
}

Replacement::Replacement() = default;
Replacement::~Replacement() = default;

Result Replacement::open(const std::string& name, const FileState* mustBe)
{
    state_ = std::make_unique<ReplacementState>();
    ReplacementState& s = *state_;
    int descriptor = -1;
    s.path = followLinks(name, descriptor);
    if (descriptor >= 0)
        return openDescriptor(s, name, descriptor);

    // Opened only where there is a file: a link that leads nowhere yet makes
    // its file once the new content is whole. O_CREAT has the system apply
    // its rules for files and FIFOs in sticky folders, as to ">"; should the
    // file be removed meanwhile, the empty one that may be this run's is
    // removed again unless committed.
    struct stat status {};
    if (stat(name.c_str(), &status) == 0) {
        s.target = ::open(name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
        if (s.target < 0 || fstat(s.target, &s.opened) != 0)
            return failure();
        if (!sameFile(status, s.opened) && S_ISREG(s.opened.st_mode) && s.opened.st_size == 0 && !openFolder(s) &&
            nameLeadsToTarget(s, basePart(s.path).c_str()))
            keepLeftover(Leftover::CreatedTarget, s.folder, basePart(s.path).c_str(), s.opened);
    } else if (errno != ENOENT) {
        return failure();
    }
    if (mustBe != nullptr && (s.target < 0 || !isFileRead(s, *mustBe)))
        return Result::changedMeanwhile;

    // Every name of a file with several links must see the new content; a
    // device or pipe has nothing to replace.
    if (s.target >= 0 && (!S_ISREG(s.opened.st_mode) || s.opened.st_nlink > 1))
        return writeDirectly(s);
    // A folder its user may not open (no O_PATH) takes no new file from it.
    const Result opened = openFolder(s);
    if (opened.error() == EACCES && s.target >= 0)
        return writeDirectly(s);
    if (opened)
        return opened;
    if (s.target >= 0 && !nameLeadsToTarget(s, basePart(s.path).c_str()))
        return Result::changedMeanwhile;
    // In an append-only folder no name could be removed again; where that
    // cannot be told, it is not risked.
    bool appendOnly = false;
    const Result told = isAppendOnly(s.folder, appendOnly);
    if (appendOnly || (told && told.error() != ENOSYS))
        return writeDirectly(s);
    // A folder that takes no new file, or a target whose attributes another
    // file cannot have: the target itself is written.
    const Result made = makeContentFile(s);
    if (made.error() == EACCES || made.error() == EPERM || made.error() == EROFS)
        return writeDirectly(s);
    if (made)
        return made;
    if (s.target >= 0 && giveAttributes(s)) {
        removeLeftover(Leftover::Content);
        s.contentName.clear();
        (void)closeFile(s.content);
        return writeDirectly(s);
    }
    s.way = Way::Temporary;
    return 0;
}

bool Replacement::writesTarget() const
{
    return state_->way != Way::Temporary;
}

Result Replacement::write(const void* bytes, std::size_t size)
{
    ReplacementState& s = *state_;
    if (s.way == Way::Temporary) {
        if (Result error = checkSizeLimit(s.written + static_cast<off_t>(size)))
            return error;
        s.written += static_cast<off_t>(size);
        return writeAll(s.content, bytes, size);
    }
    // A device or pipe can wait for its reader: Ctrl-C must end it.
    if (!S_ISREG(s.opened.st_mode))
        return writeAll(s.target, bytes, size);
    if (s.written != 0)
        return EINVAL;  // the whole content comes in one write
    return writeTarget(s, bytes, size);
}

// The new content's file is closed, checked, before it takes any name of
// the target's; an unnamed one is named beside the target first. A direct
// write's content is all there: only the cut and the close can fail now.
Result Replacement::commit()
{
    ReplacementState& s = *state_;
    Result error = 0;
    if (s.way == Way::Temporary && s.contentName.empty())
        error = nameContent(s, true);
    if (!error && s.way == Way::Temporary)
        error = closeFile(s.content);
    if (!error && s.way == Way::Temporary && s.opened.st_mode == 0)
        error = publishNewFile(s);
    else if (!error && s.way == Way::Temporary)
        error = replaceTarget(s);
    if (!error && s.way == Way::Direct && S_ISREG(s.opened.st_mode) && ftruncate(s.target, s.written) != 0)
        error = failure();
    if (!error && s.way == Way::Direct)
        error = closeFile(s.target);
    if (!error)
        handOver(Leftover::CreatedTarget);
    state_.reset();
    return error;
}

InputFile::~InputFile()
{
    int fd = static_cast<int>(file_);
    (void)closeFile(fd);  // read only: nothing is lost
}

Result InputFile::open(const std::string& name)
{
    file_ = ::open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    return file_ < 0 ? failure() : 0;
}

Result InputFile::inspect()
{
    struct stat status {};
    if (fstat(static_cast<int>(file_), &status) != 0)
        return failure();
    regular_ = S_ISREG(status.st_mode);
    state_ = stateOf(status);
    left_ = state_.length;
    return S_ISDIR(status.st_mode) ? EISDIR : 0;
}

Result InputFile::read(std::uint8_t* bytes, std::size_t size, std::size_t& got)
{
    for (got = 0; got < size && (!regular_ || left_ > 0);) {
        const std::size_t wanted = regular_ ? std::min<std::uint64_t>(size - got, left_) : size - got;
        const ssize_t piece = ::read(static_cast<int>(file_), bytes + got, wanted);
        if (piece <= 0)
            return piece < 0 ? failure() : regular_ ? EIO : 0;  // a regular file cut short meanwhile
        got += static_cast<std::size_t>(piece);
        left_ -= regular_ ? static_cast<std::uint64_t>(piece) : 0;
    }
    return 0;
}

bool namesSameSpecialFile(const std::string& first, const std::string& second)
{
    struct stat one {};
    struct stat other {};
    if (stat(first.c_str(), &one) != 0 || S_ISREG(one.st_mode) || S_ISDIR(one.st_mode))
        return false;
    return first == second || (stat(second.c_str(), &other) == 0 && sameFile(one, other));
}
