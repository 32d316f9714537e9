// The library driven directly: each way of writing, and faults put into its
// system calls. The calls are wrapped at link time (-Wl,--wrap=NAME), so a
// case can make the nth call of one fail, or let another program act just
// before it; and the mask of signals is seen at every write.
#include "replace.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

namespace {

// The `when`th call of `call` (of those with a name that begins with
// `path`, where given) first lets `meanwhile` act, then fails with `error`
// (0: the call is made).
struct Fault {
    std::string call;
    int when = 1;
    int error = 0;
    std::function<void()> meanwhile = nullptr;
    std::string path = "";
};

struct Plan {
    bool active = false;
    std::vector<Fault> faults;
    std::map<std::string, int> calls;  // made so far, by name, and by name and path for the faults with one
    std::set<int> written;             // descriptors written since they were opened
    bool writtenCloseFailed = false;
    std::string target;             // the target's name
    std::vector<bool> heldAtWrite;  // whether SIGINT was held, at each write of the target or clone onto it
    bool heldElsewhere = false;     // SIGINT held at a write of another file
} plan;

// Signals held at a write of the target itself (or a clone onto it), and
// never at another's.
void noteSignals(int fd)
{
    sigset_t held;
    struct stat written {};
    struct stat target {};
    if (!plan.active || sigprocmask(SIG_BLOCK, nullptr, &held) != 0 || fstat(fd, &written) != 0)
        return;
    const bool isHeld = sigismember(&held, SIGINT) == 1;
    if (stat(plan.target.c_str(), &target) == 0 && target.st_dev == written.st_dev && target.st_ino == written.st_ino)
        plan.heldAtWrite.push_back(isHeld);
    else
        plan.heldElsewhere = plan.heldElsewhere || isHeld;
}

bool injected(const char* call, int fd, const char* path)
{
    if (!plan.active)
        return false;
    ++plan.calls[call];
    std::set<std::string> counted;  // calls of one name whose path begins with one text
    for (const Fault& fault : plan.faults)
        if (fault.call == call && !fault.path.empty() && path != nullptr &&
            std::strncmp(path, fault.path.c_str(), fault.path.size()) == 0 && counted.insert(fault.path).second)
            ++plan.calls[fault.call + " " + fault.path];
    for (const Fault& fault : plan.faults) {
        const std::string key = fault.path.empty() ? fault.call : fault.call + " " + fault.path;
        if (fault.call != call || (!fault.path.empty() && counted.count(fault.path) == 0) ||
            fault.when != plan.calls[key])
            continue;
        if (fault.meanwhile) {
            plan.active = false;
            fault.meanwhile();
            plan.active = true;
        }
        if (fault.error == 0)
            continue;
        plan.writtenCloseFailed =
            plan.writtenCloseFailed || (std::strcmp(call, "close") == 0 && plan.written.count(fd));
        errno = fault.error;
        return true;
    }
    return false;
}

}  // namespace

// Each wrapped call fails as planned, or is made. Calls that take a variable
// argument (open, openat, fcntl, ioctl) pass on the one they may take.
#define WRAPPED(type, name, parameters, arguments, fd, path)                                                           \
    extern "C" type __real_##name parameters;                                                                          \
    extern "C" type __wrap_##name parameters                                                                           \
    {                                                                                                                  \
        return injected(#name, fd, path) ? -1 : __real_##name arguments;                                               \
    }
WRAPPED(int, open, (const char* p, int f, mode_t m), (p, f, m), -1, p)
WRAPPED(int, openat, (int d, const char* p, int f, mode_t m), (d, p, f, m), -1, p)
WRAPPED(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n), fd, nullptr)
WRAPPED(int, fstat, (int fd, struct stat* s), (fd, s), fd, nullptr)
WRAPPED(int, fstatat, (int d, const char* p, struct stat* s, int f), (d, p, s, f), -1, p)
WRAPPED(int, stat, (const char* p, struct stat* s), (p, s), -1, p)
WRAPPED(ssize_t, readlink, (const char* p, char* b, size_t n), (p, b, n), -1, p)
WRAPPED(int, fcntl, (int fd, int c, long a), (fd, c, a), fd, nullptr)
WRAPPED(off_t, lseek, (int fd, off_t o, int w), (fd, o, w), fd, nullptr)
WRAPPED(int, ftruncate, (int fd, off_t l), (fd, l), fd, nullptr)
WRAPPED(int, fchown, (int fd, uid_t u, gid_t g), (fd, u, g), fd, nullptr)
WRAPPED(int, fchmod, (int fd, mode_t m), (fd, m), fd, nullptr)
WRAPPED(int, linkat, (int d, const char* p, int e, const char* q, int f), (d, p, e, q, f), -1, p)
WRAPPED(int, unlinkat, (int d, const char* p, int f), (d, p, f), -1, p)
WRAPPED(int, renameat, (int d, const char* p, int e, const char* q), (d, p, e, q), -1, p)
WRAPPED(int, renameat2, (int d, const char* p, int e, const char* q, unsigned f), (d, p, e, q, f), -1, p)
WRAPPED(int, statx, (int d, const char* p, int f, unsigned m, struct statx* s), (d, p, f, m, s), -1, p)
WRAPPED(ssize_t, flistxattr, (int fd, char* b, size_t n), (fd, b, n), fd, nullptr)
WRAPPED(ssize_t, fgetxattr, (int fd, const char* n, void* v, size_t s), (fd, n, v, s), fd, nullptr)
WRAPPED(int, fsetxattr, (int fd, const char* n, const void* v, size_t s, int f), (fd, n, v, s, f), fd, nullptr)
WRAPPED(int, fremovexattr, (int fd, const char* n), (fd, n), fd, nullptr)
WRAPPED(int, fallocate, (int fd, int m, off_t o, off_t l), (fd, m, o, l), fd, nullptr)
WRAPPED(int, fstatfs, (int fd, struct statfs* s), (fd, s), fd, nullptr)
WRAPPED(int, fstatvfs, (int fd, struct statvfs* s), (fd, s), fd, nullptr)
WRAPPED(int, getrlimit, (int r, struct rlimit* l), (r, l), -1, nullptr)

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd)
{
    const bool failed = injected("close", fd, nullptr);
    plan.written.erase(fd);
    return failed ? -1 : __real_close(fd);
}

extern "C" int __real_ioctl(int fd, unsigned long request, void* argument);
extern "C" int __wrap_ioctl(int fd, unsigned long request, void* argument)
{
    if (request == FICLONE)
        noteSignals(fd);
    return injected("ioctl", fd, nullptr) ? -1 : __real_ioctl(fd, request, argument);
}

extern "C" ssize_t __real_write(int fd, const void* bytes, size_t size);
extern "C" ssize_t __wrap_write(int fd, const void* bytes, size_t size)
{
    noteSignals(fd);
    if (injected("write", fd, nullptr))
        return -1;
    plan.written.insert(fd);
    return __real_write(fd, bytes, size);
}

namespace {

const std::string oldContent = randomBytes(1000, 1), newContent = randomBytes(340, 2), other = "another program's";

// Open, the whole content in one write, commit: as trivolta does it, and
// glyphrot where the target itself is written.
Result replaceWith(const std::string& name, const std::string& content = newContent, const FileState* mustBe = nullptr)
{
    plan.active = true;
    Replacement replacement;
    Result result = replacement.open(name, mustBe);
    if (!result)
        result = replacement.write(content.data(), content.size());
    if (!result)
        result = replacement.commit();
    plan.active = false;
    return result;
}

// The folder's names, and what `name` holds: "old", "new", "other", "none",
// or its length.
std::string folderState(const ScratchDir& dir, const std::string& name)
{
    const std::string held = readFile(dir.file(name));
    std::string state = shell("ls -A | tr '\\n' ' '", dir.path()).out + "| ";
    if (!std::filesystem::exists(dir.file(name)))
        return state + "none";
    if (held == oldContent || held == newContent || held == other)
        return state + (held == oldContent ? "old" : held == newContent ? "new" : "other");
    return state + std::to_string(held.size()) + " bytes";
}

const bool posixOnly = std::string(REPLACE_SYSTEM) == "posix";

struct Case {
    const char* title;
    const char* setup;  // a shell line in a folder where "a" holds the old content
    const char* name;   // the target, in that folder
    std::vector<Fault> faults;
    int result;                     // 0, an errno value, or Result::changedMeanwhile
    std::string state;              // folderState of the target afterwards (of d/made for a link)
    std::vector<bool> heldAtWrite;  // whether signals were held, write by write
    rlim_t sizeLimit = RLIM_INFINITY;
    const char* needs = "";  // "root", or what the POSIX steps alone lack
    bool inPlace = false;    // the target must still be the file as it was read
};

// Another program puts a file of its own under a's name, or writes a.
const auto renamedOver = [](const std::string& dir) {
    return [dir] { writeFile(dir + "/n", other), (void)std::rename((dir + "/n").c_str(), (dir + "/a").c_str()); };
};
const auto appended = [](const std::string& dir) { return [dir] { (void)shell("printf more >>a", dir); }; };
const auto removed = [](const std::string& dir) { return [dir] { (void)std::remove((dir + "/a").c_str()); }; };
const auto linked = [](const std::string& dir) {
    return [dir] { (void)::link((dir + "/a").c_str(), (dir + "/b").c_str()); };
};

std::vector<Case> cases(const std::string& dir)
{
    const int changed = Result::changedMeanwhile;
    const std::vector<bool> none{}, held{true};
    const char* const posixLacks = "the POSIX steps alone (REPLACE_SYSTEM=posix) have no exchange of names and "
                                   "cannot tell an append-only folder: the default build tests it";
    // Copied on write, a direct write is cloned from a file beside it, and
    // space is not held for it.
    struct statfs system {};
    const bool cloned = !posixOnly && statfs(dir.c_str(), &system) == 0 &&
                        (system.f_type == BTRFS_SUPER_MAGIC || system.f_type == XFS_SUPER_MAGIC);
    const char* const noSpace =
        posixOnly ? "the POSIX steps alone (REPLACE_SYSTEM=posix) hold no space ahead: the default build tests it"
        : cloned  ? "TMPDIR's file system copies on write: a direct write there is cloned, and ext4 tests held space"
                  : "";
    // A row a line or two, as a table reads.
    // clang-format off
    return {
        {"new file", "", "n", {}, 0, "a n | new", none},
        {"replaced", "", "a", {}, 0, "a | new", none},
        {"link that leads nowhere yet", "mkdir d && ln -s d/made l", "l", {}, 0, "a d l | new", none},
        {"second link: written directly, cut to its length", "ln a b", "b", {}, 0, "a b | new", held},
        {"file size limit, second link", "ln a b", "b", {}, EFBIG, "a b | old", none, 100},
        {"file size limit, link that leads nowhere yet", "mkdir d && ln -s d/made l", "l", {}, EFBIG,
         "a d l | none", none, 100},
        {"no room for a direct write", "ln a b", "b", {{"fallocate", 1, ENOSPC}}, ENOSPC, "a b | old", none,
         RLIM_INFINITY, noSpace},
        {"no room for the first byte of a direct write", "ln a b", "b", {{"write", 1, ENOSPC}}, ENOSPC, "a b | old",
         cloned ? none : held},
        {"failed close of the new content", "", "a", {{"close", 1, EDQUOT}}, EDQUOT, "a | old", none},
        {"failed close of a direct write", "ln a b", "b", {{"close", 1, EDQUOT}}, EDQUOT, "a b | new", held},
        {"renamed over before the exchange, which is refused", "", "a",
         {{"close", 1, 0, renamedOver(dir)}, {"renameat2", 1, EINVAL}}, changed, "a | other", none},
        {"renamed over as an in-place run opens it", "", "a", {{"open", 1, 0, renamedOver(dir)}}, changed,
         "a | other", none, RLIM_INFINITY, "", true},
        {"removed meanwhile", "", "a", {{"close", 1, 0, removed(dir)}}, changed, "| none", none},
        {"linked meanwhile", "", "a", {{"close", 1, 0, linked(dir)}}, changed, "a b | old", none},
        {"written meanwhile", "", "a", {{"close", 1, 0, appended(dir)}}, changed, "a | 1004 bytes", none},
        {"exchange refused, renamed over just before the rename", "", "a",
         {{"renameat2", 1, EINVAL}, {"fstatat", 2, 0, renamedOver(dir)}}, changed, "a | other", none},
        {"exchange refused: renamed", "", "a", {{"renameat2", 1, EINVAL}}, 0, "a | new", none},
        {"rename refused (a mount point): copied over", "", "a", {{"renameat2", 1, EBUSY}, {"renameat", 1, EBUSY}},
         0, "a | new", held},
        {"old file cannot be removed", "", "a", {{"unlinkat", 1, EIO}}, EIO, "a | old", none, RLIM_INFINITY,
         posixOnly ? posixLacks : ""},
        {"new name cannot be linked without a second", "", "n", {{"renameat2", 1, EINVAL}, {"unlinkat", 1, EIO}},
         EIO, "a | none", none},
        {"written by another program after the read, second link", "ln a b", "b", {{"fstat", 2, 0, appended(dir)}},
         changed, "a b | 1004 bytes", none},
        {"removed as an in-place run opens it", "", "a", {{"open", 1, 0, removed(dir)}}, changed, "| none", none,
         RLIM_INFINITY, "", true},
        {"out of descriptors for the folder", "", "a", {{"open", 2, EMFILE}}, EMFILE, "a | old", none},
        {"new file made directly: the folder takes no temporary file", "", "n",
         {{"openat", 1, EACCES, nullptr, "."}, {"openat", 2, EACCES, nullptr, "."}}, 0, "a n | new", held},
        {"append-only folder told without statx", "chattr +a .", "a", {{"statx", 1, ENOSYS}}, 0, "a | new", held,
         RLIM_INFINITY, posixOnly ? posixLacks : "root"},
    };
    // clang-format on
}

TEST(Replacement, EachWayAndFault)
{
    (void)std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    const std::size_t count = cases("").size();
    for (std::size_t i = 0; i < count; ++i) {
        ScratchDir dir;
        const Case c = cases(dir.path())[i];
        SCOPED_TRACE(c.title);
        if (*c.needs != '\0' && (std::string(c.needs) != "root" || geteuid() != 0)) {
            const std::string needs = c.needs;
            std::cout << "skipped, " << (needs == "root" ? "runs as root only: chattr +a needs root" : needs) << ": "
                      << c.title << "\n";
            continue;
        }
        writeFile(dir.file("a"), oldContent);
        if (shell(c.setup, dir.path()).status != 0) {
            std::cout << "skipped, the file system of TMPDIR takes no append-only flag (chattr +a): " << c.title
                      << "\n";
            continue;
        }
        plan = Plan{};
        plan.faults = c.faults;
        plan.target = dir.file(c.name);
        struct rlimit limit {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const struct rlimit lowered {
            c.sizeLimit, limit.rlim_max
        };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
        InputFile read;
        ASSERT_FALSE(read.open(dir.file("a")) || read.inspect());
        const Result result = replaceWith(dir.file(c.name), newContent, c.inPlace ? &read.state() : nullptr);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        (void)shell("chattr -a . 2>/dev/null", dir.path());
        EXPECT_EQ(result.error(), c.result) << result.text();
        EXPECT_EQ(folderState(dir, *c.name == 'l' ? "d/made" : c.name), c.state);
        EXPECT_EQ(plan.heldAtWrite, c.heldAtWrite);
        EXPECT_FALSE(plan.heldElsewhere);
    }
}

// What a run leaves when one call fails, for a new file, a replaced one and
// one written directly.
struct Ending {
    Result result;
    std::string state;
    bool writtenCloseFailed;
};

Ending runWith(const char* target, const std::vector<Fault>& faults)
{
    ScratchDir dir;
    writeFile(dir.file("a"), oldContent);
    if (std::string(target) == "b") {
        EXPECT_EQ(::link(dir.file("a").c_str(), dir.file("b").c_str()), 0);
    }
    plan = Plan{};
    plan.faults = faults;
    const Result result = replaceWith(dir.file(target));
    return {result, folderState(dir, target), plan.writtenCloseFailed};
}

// Any one call failing at any point: the run fails, with the target as it
// was, or works; nothing is left beside it; a failed close of what was
// written fails the run. Written directly, only the cut and the close can
// fail after the last byte, with the new content there.
TEST(Replacement, AnyOneCallFailing)
{
    const std::map<std::string, int> errors{
        {"close", EDQUOT}, {"fallocate", ENOSPC}, {"open", EMFILE}, {"openat", EMFILE}, {"write", ENOSPC}};
    for (const char* target : {"n", "a", "b"}) {
        (void)runWith(target, {});
        for (const auto& [call, count] : std::map<std::string, int>(plan.calls))
            for (int when = 1; when <= count; ++when) {
                const int error = errors.count(call) ? errors.at(call) : EIO;
                SCOPED_TRACE(::testing::Message() << target << ": " << call << " call " << when << " fails");
                const Ending ending = runWith(target, {{call, when, error}});
                const std::string before = *target == 'n' ? "a | none" : *target == 'a' ? "a | old" : "a b | old";
                const std::string after = *target == 'n' ? "a n | new" : *target == 'a' ? "a | new" : "a b | new";
                const bool late = *target == 'b' && (call == "ftruncate" || call == "close");
                EXPECT_TRUE(ending.state == (ending.result ? before : after) ||
                            (late && ending.result && ending.state.compare(0, 4, "a b ") == 0))
                    << ending.state << ", " << ending.result.text();
                EXPECT_FALSE(ending.writtenCloseFailed && !ending.result);
            }
    }
}

// A run that ends by exit() or a signal before it commits, its new content
// written beside the target, named or not: the target as it was, nothing
// beside it, and the signal not held.
TEST(Replacement, EndsByExitOrSignal)
{
    for (const int signal : {0, SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        for (const bool named : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << (signal == 0 ? "exit()" : strsignal(signal)) << (named ? ", named new content" : ""));
            ScratchDir dir;
            writeFile(dir.file("a"), oldContent);
            (void)std::fflush(nullptr);
            const pid_t child = fork();
            if (child == 0) {
                plan = Plan{};
                if (named && !posixOnly)
                    plan.faults = {{"openat", 1, EOPNOTSUPP, nullptr, "."}};  // no unnamed file
                plan.active = true;
                Replacement replacement;
                if (replacement.open(dir.file("a")) || replacement.write(newContent.data(), newContent.size()))
                    _exit(3);
                if (signal == 0)
                    std::exit(1);
                (void)raise(signal);
                _exit(4);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(signal == 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 1
                                    : WIFSIGNALED(status) && WTERMSIG(status) == signal)
                << status;
            EXPECT_EQ(folderState(dir, "a"), "a | old");
        }
}

// Names of this process's descriptors are written where the descriptor
// stands, a file size limit counted from there.
TEST(Replacement, DescriptorNames)
{
    (void)std::signal(SIGXFSZ, SIG_IGN);
    const struct {
        const char* title;
        int flags;
        rlim_t sizeLimit;
        int result;
        std::string after;
    } cases[] = {
        {"appended", O_WRONLY | O_APPEND, RLIM_INFINITY, 0, oldContent + newContent},
        {"written where it stands", O_WRONLY, RLIM_INFINITY, 0,
         oldContent.substr(0, 10) + newContent + oldContent.substr(350)},
        {"file size limit from where it stands", O_WRONLY | O_APPEND, 1200, EFBIG, oldContent},
        {"open only for reading", O_RDONLY, RLIM_INFINITY, EBADF, oldContent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("a"), oldContent);
        const int fd = ::open(dir.file("a").c_str(), c.flags | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(lseek(fd, 10, SEEK_SET), 10);
        struct rlimit limit {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const struct rlimit lowered {
            c.sizeLimit, limit.rlim_max
        };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
        const Result result = replaceWith("/dev/fd/" + std::to_string(fd));
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(::close(fd), 0);
        EXPECT_EQ(result.error(), c.result) << result.text();
        EXPECT_TRUE(sameBytes(c.after, readFile(dir.file("a"))));
    }
}

}  // namespace
