// Faults from outside the programs: full disks, file size limits, folders
// and missing folders, inputs that vanish, huge and hostile command lines.
// Each case checks the message, the status, that the input is unchanged and
// that nothing is written after the failure.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

const std::string trivolta = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);
const std::string glyphrot = programPath("GLYPHROT_PROGRAM", GLYPHROT_PROGRAM);
const std::string defaultTable = readFile(TRIVOLTA_GOLDEN "/default.c");
// LeakSanitizer, where the programs are built with it, cannot work under strace.
const std::string noLeakCheck = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 ";

// Bytes seeded with their own length, so that each size is always the same.
const auto randomBytes = [](std::size_t length) { return ::randomBytes(length, static_cast<unsigned>(length)); };
const auto glyphrotMessage = [](const std::string& message) { return "\n" + message + "\n"; };
const auto installed = [](const std::string& tool) { return shell("command -v " + tool, ".").status == 0; };

using Names = std::set<std::string>;

// The names in `dir`, hidden ones included.
Names filesIn(const std::string& dir)
{
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// Why a case cannot pass where the programs take the POSIX steps alone,
// without Linux's extras; nullptr where it can, or they have the extras.
const char* posixLacks(const std::string& title)
{
    static const std::map<std::string, const char*> cases{
        {"ACL kept", "no ACL is given"},
        {"folder's default ACL kept off", "no ACL is taken off"},
        {"extended attributes kept", "no extended attribute is given"},
        {"inode flags kept", "no inode flag is given"},
        {"append-only folder", "an append-only folder is not told"},
        {"new file in an append-only folder", "an append-only folder is not told"},
        {"bind-mounted on a fuller file system", "no space is held before a direct write"},
    };
    const auto found = cases.find(title);
    return std::string(REPLACE_SYSTEM) == "posix" && found != cases.end() ? found->second : nullptr;
}

// Names the system refuses, and names of descriptors the caller did not hand
// over: whatever is open under that number is not written; no file is made.
TEST(FaultInjection, TrivoltaRefusedNames)
{
    const std::string plain = "exec \"$@\"", badDescriptor = "Bad file descriptor";
    const struct {
        std::string script, name, reason;
    } cases[] = {
        {plain, std::string(100000, 'n'), "File name too long"},
        {"exec \"$@\" 2>&-", "/dev/stderr", badDescriptor},
        {plain, "/dev/fd/3", badDescriptor},
        {"exec \"$@\" 3>/dev/null", "/proc/self/fd/4", badDescriptor},
        {std::string(inOtherPidNamespace) + " \"$@\"", "/dev/fd/3", badDescriptor},
        {"ln -s /dev/fd/5 link.c; exec \"$@\"", "link.c", badDescriptor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        ScratchDir dir;
        ProgramResult result = runInShell(c.script, trivolta, {"-OC" + c.name}, dir.path());
        if (skippedWithoutPidNamespace(result, c.script))
            continue;
        EXPECT_EQ(result.status, 8);
        EXPECT_TRUE(sameBytes("Error - can not open output file " + c.name + " (" + c.reason + ")", result.out));
        for (const std::string& name : filesIn(dir.path()))
            EXPECT_EQ(name, "link.c");
    }
}

// A file size limit below the new content's length, SIGXFSZ ignored or at
// its default (it kills): the run fails before its first byte, the target
// keeps its old bytes, nothing is left beside it; also where the target is
// written directly (a second link).
TEST(FaultInjection, StopsAtTheFileSizeLimit)
{
    const std::string font = randomBytes(1 << 20), old = randomBytes(3000);
    const std::vector<std::string> table{"-P65532", "-S1", "-OCbig.c"}, inPlace{"-r", "font.bin"},
        second{"-r", "font.bin", "out.bin"};
    const struct {
        const char* title;
        const std::string& program;
        const std::vector<std::string>& arguments;
        std::string target;  // the existing file the run was to replace
    } targets[] = {{"table", trivolta, table, "big.c"},
                   {"in place", glyphrot, inPlace, "font.bin"},
                   {"second file", glyphrot, second, "out.bin"}};
    for (const auto& c : targets)
        for (const std::string way : {"SIGXFSZ ignored", "SIGXFSZ at its default", "written directly"}) {
            SCOPED_TRACE(c.title + (", " + way));
            ScratchDir dir;
            writeFile(dir.file("font.bin"), font);
            if (c.target != "font.bin")
                writeFile(dir.file(c.target), old);
            const bool linked = way == "written directly";
            ASSERT_TRUE(!linked || ::link(dir.file(c.target).c_str(), dir.file("second-name").c_str()) == 0);
            // 64 KiB, in sh's 512-byte blocks; with SIGXFSZ ignored the write
            // fails with EFBIG instead of killing the process.
            ProgramResult result =
                runInShell(std::string(way == "SIGXFSZ ignored" ? "trap '' XFSZ; " : "") + "ulimit -f 128; exec \"$@\"",
                           c.program, c.arguments, dir.path());
            const bool glyphs = c.program == glyphrot;
            EXPECT_EQ(result.status, glyphs ? 1 : 8);
            EXPECT_TRUE(
                sameBytes(glyphs ? "" : "Error - can not write output file big.c (File too large)", result.out));
            EXPECT_TRUE(sameBytes(glyphs ? glyphrotMessage("error write output file") : "", result.err));
            EXPECT_TRUE(readFile(dir.file(c.target)) == (c.target == "font.bin" ? font : old));
            EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
            EXPECT_EQ(filesIn(dir.path()), (Names{"font.bin", c.target, linked ? "second-name" : c.target}));
        }
}

TEST(FaultInjection, GlyphrotFailuresLeaveTheInputAlone)
{
    const std::string font = randomBytes(1 << 20), tooLong(100000, 'n');
    const std::string plain = "exec \"$@\"", otherNs = std::string(inOtherPidNamespace) + " \"$@\"";
    const std::string openIn = "Error open input file", openOut = "Error open output file";
    // A run that would hang is stopped by timeout, and then fails the test.
    const struct {
        const char* title;
        std::string script;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"input removed before the run", plain, {"-r", "dangling.bin", "out.bin"}, openIn},
        {"100,000-character input name", plain, {"-r", tooLong}, openIn},
        {"100,000-character output name", plain, {"-r", "font.bin", tooLong}, openOut},
        {"in place on a FIFO", "exec timeout 10 \"$@\"", {"-r", "fifo"}, openOut},
        {"in place on a pipe", "cat font.bin | timeout 10 \"$@\"", {"-r", "/dev/stdin"}, openOut},
        // The input takes the lowest free descriptor: never the output.
        {"stdout closed", "exec \"$@\" >&-", {"-r", "font.bin", "/dev/stdout"}, openOut},
        {"descriptor 3 not open", plain, {"-r", "font.bin", "/dev/fd/3"}, openOut},
        {"descriptor 3 not open, in another PID namespace", otherNs, {"-r", "font.bin", "/dev/fd/3"}, openOut},
        {"descriptor 4 not open", "exec \"$@\" 3</dev/null", {"-r", "font.bin", "/proc/self/fd/4"}, openOut},
        {"descriptor 5 not open", "exec \"$@\" 3</dev/null 4</dev/null", {"-r", "font.bin", "/dev/fd/5"}, openOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(shell("ln -s removed.bin dangling.bin && mkfifo fifo", dir.path()).status, 0);
        ProgramResult result = runInShell(c.script, glyphrot, c.arguments, dir.path());
        if (skippedWithoutPidNamespace(result, c.title))
            continue;
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(sameBytes("", result.out));
        EXPECT_TRUE(sameBytes(glyphrotMessage(c.message), result.err));
        EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
        EXPECT_EQ(filesIn(dir.path()), (Names{"dangling.bin", "fifo", "font.bin"}));
    }
}

TEST(FaultInjection, GlyphrotInputThatEndsEarly)
{
    // The writer of the pipe dies after 100 bytes: what arrived is the input.
    ScratchDir dir;
    writeFile(dir.file("font.bin"), randomBytes(1 << 20));
    ProgramResult result = runInShell("sh -c 'head -c 100 font.bin; kill -9 $$' | \"$@\"", glyphrot,
                                      {"-r", "/dev/stdin", "out.bin"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFile(dir.file("out.bin")).size(), 100u);
}

// A large file, one random block repeated, and what -r makes of it: the
// conversion of a whole number of cells is the conversion of each.
struct LargeFont {
    std::string old, converted;
};

LargeFont largeFont(std::size_t mebibytes)
{
    const std::string block = randomBytes(1 << 16), rotated = plainConvert(block, true, false);
    LargeFont font;
    for (std::size_t i = 0; i < mebibytes * 16; ++i) {
        font.old += block;
        font.converted += rotated;
    }
    return font;
}

// Another program cuts the input while it is converted: the run read it
// whole before, or says so; it never dies of a signal, nor half-writes.
TEST(FaultInjection, GlyphrotInputShortenedDuringTheRun)
{
    const LargeFont font = largeFont(128);
    const std::string old = "the old second file";
    for (const char* delay : {"0.01", "0.03", "0.06", "0.1"}) {
        SCOPED_TRACE(std::string("cut after ") + delay + " s");
        ScratchDir dir;
        writeFile(dir.file("big.bin"), font.old);
        writeFile(dir.file("out.bin"), old);
        ProgramResult result =
            runInShell(std::string("\"$@\" & sleep ") + delay + "; truncate -s 4096 big.bin; wait $!", glyphrot,
                       {"-r", "big.bin", "out.bin"}, dir.path());
        const std::string out = readFile(dir.file("out.bin"));
        if (result.status == 1) {
            EXPECT_TRUE(sameBytes(glyphrotMessage("error read input file"), result.err));
            EXPECT_TRUE(out == old);
        } else {
            EXPECT_EQ(result.status, 0);
            EXPECT_TRUE(out == font.converted || out == font.converted.substr(0, 4096));
        }
        EXPECT_EQ(filesIn(dir.path()), (Names{"big.bin", "out.bin"}));
    }
}

// Killed at a random moment while converting in place: the file is the old
// one or the new, whole, nothing beside it (but a named temporary file after
// SIGKILL: the new content has a name while it is closed and put in place).
// Ctrl-C, SIGTERM and SIGHUP at the first write of a direct write (a second
// link) wait till the file is whole.
TEST(FaultInjection, GlyphrotKilledWhileConvertingInPlace)
{
    const LargeFont large = largeFont(200), small = largeFont(1);
    std::mt19937 random(2);
    for (const char* run : {"KILL", "TERM", "INT", "KILL", "TERM", "INT", "direct INT", "direct TERM", "direct HUP"}) {
        const bool direct = std::strncmp(run, "direct ", 7) == 0;
        const char* signal = direct ? run + 7 : run;
        if (direct && !installed("strace"))
            GTEST_SKIP() << "strace is not installed";
        const std::string delay = "0." + std::to_string(100 + random() % 900);
        SCOPED_TRACE(std::string("SIG") + signal +
                     (direct ? " at the first write of a direct write" : " after " + delay + " s"));
        const LargeFont& font = direct ? small : large;
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font.old);
        ASSERT_TRUE(!direct || ::link(dir.file("font.bin").c_str(), dir.file("second-name").c_str()) == 0);
        // An interactive shell's Ctrl-C reaches the program with SIGINT at
        // its default action; a background job of sh would ignore it.
        const std::string script =
            direct ? noLeakCheck + "exec strace -f -o /dev/null -e inject=write:signal=SIG" + signal + ":when=1 \"$@\""
                   : "(trap - INT; exec \"$@\") & sleep " + delay + "; kill -" + signal + " $!; wait $!";
        ProgramResult result = runInShell(script, glyphrot, {"-r", "font.bin"}, dir.path());
        EXPECT_TRUE(result.status == 0 || result.status >= 128) << result.status;
        const std::string now = readFile(dir.file("font.bin"));
        EXPECT_TRUE(now == font.old || now == font.converted) << now.size() << " bytes";
        Names left = filesIn(dir.path());
        for (auto name = left.begin(); name != left.end();)
            name = std::string(signal) == "KILL" && name->compare(0, 10, ".font.bin.") == 0 ? left.erase(name) : ++name;
        EXPECT_EQ(left, (Names{"font.bin", direct ? "second-name" : "font.bin"}));
    }
}

// True when strace's `log` shows a close that failed, injected, on a
// descriptor the run had written to since it was opened.
bool writtenCloseFailed(const std::string& log)
{
    std::set<std::string> written;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t call = line.find_first_not_of("0123456789 ");
        const std::size_t open = line.find('(', call);
        if (call == std::string::npos || open == std::string::npos)
            continue;
        const std::string name = line.substr(call, open - call);
        const std::string fd = line.substr(open + 1, line.find_first_of(",)", open) - open - 1);
        const std::size_t result = line.rfind(") = ");
        if (name == "close" && line.find("INJECTED") != std::string::npos && written.count(fd) != 0)
            return true;
        if (name == "write" || name == "pwrite64")
            written.insert(fd);
        else if (name == "close" || ((name == "openat" || name == "open") && result != std::string::npos))
            written.erase(name == "close" ? fd : line.substr(result + 4));
    }
    return false;
}

// One system call that fails at any one point of the run: the run fails or
// works, the target is the old file or the new, whole, and a failed close of
// the new content fails the run. With every write failing too, the target
// stays as it was, also where it is written directly (a second link).
// Each program, its target linked or not: four tests that can run at once.
class OneFailedCall : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(OneFailedCall, NeverCutsTheTarget)
{
    if (!installed("strace") || !installed("setfacl"))
        GTEST_SKIP() << "strace or setfacl is not installed";
    const std::string font = randomBytes(1 << 16), rotated = plainConvert(font, true, false);
    const std::string old = "the old table\n";
    const std::vector<std::string> inPlace{"-r", "a.bin"}, table{"-OCa.c"};
    const struct {
        const std::string& program;
        const std::vector<std::string>& arguments;
        std::string target;
        const std::string &before, &after;
    } programs[] = {{glyphrot, inPlace, "a.bin", font, rotated}, {trivolta, table, "a.c", old, defaultTable}};
    // The calls, the error, and how many of the first calls fail, one run each.
    const std::string faults =
        "%stat,%fstat EIO 16  openat EIO 10  openat EMFILE 10  openat ENOMEM 10  readlink EIO 3  "
        "ioctl EIO 3  flistxattr EIO 3  fgetxattr EIO 3  fsetxattr ENOMEM 3  fremovexattr EIO 2  "
        "fchown EIO 2  fchmod EIO 2  linkat EIO 2  renameat,renameat2 EIO 2  ftruncate EIO 2  "
        "fcntl EMFILE 3  statx EIO 2  fallocate ENOSPC 1  lseek EIO 2  getdents64 EIO 1  "
        "pwrite64 EIO 1  close,fsync,fdatasync EDQUOT 8";
    const bool linked = std::get<0>(GetParam());
    const auto& p = programs[std::get<1>(GetParam())];
    std::istringstream fault(faults);
    for (std::string calls, error, upTo; fault >> calls >> error >> upTo;)
        for (int call = 1; call <= std::stoi(upTo); ++call)
            for (const bool writesFail : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << p.program << (linked ? " (linked)" : "") << ": " << calls << " call " << call
                             << " fails with " << error << (writesFail ? ", every write fails" : ""));
                ScratchDir dir, logs;
                writeFile(dir.file(p.target), p.before);
                const std::string setup = (linked ? "ln " + p.target + " b && " : "") + "setfacl -m u:nobody:r ";
                ASSERT_EQ(shell(setup + p.target, dir.path()).status, 0);
                std::string strace = "exec strace -f -o " + logs.file("log") + " -e inject=" + calls;
                strace += ":error=" + error + ":when=" + std::to_string(call) +
                          (writesFail ? " -e inject=write:error=EIO" : "");
                ProgramResult result = runInShell(strace + " \"$@\"", p.program, p.arguments, dir.path());
                // Other statuses come from the loader or a sanitizer
                // runtime, which make such calls of their own.
                const std::string now = readFile(dir.file(p.target));
                EXPECT_TRUE(writesFail ? now == p.before : now == p.before || now == p.after);
                const bool failed = result.status == 1 || result.status == 8;
                EXPECT_TRUE(failed || !writtenCloseFailed(readFile(logs.file("log")))) << result.status;
                // Written directly, after the last byte only the cut or the close can fail.
                if (result.status == 0 || (failed && (!linked || (calls != "ftruncate" && calls[0] != 'c')))) {
                    EXPECT_TRUE(sameBytes(result.status == 0 ? p.after : p.before, now));
                }
                EXPECT_EQ(filesIn(dir.path()), (Names{p.target, linked ? "b" : p.target}));
            }
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, OneFailedCall, ::testing::Combine(::testing::Bool(), ::testing::Range(0, 2)));

// A file that another program replaced, removed, linked or wrote while the
// run was slowed down, and a bind-mounted file on a file system too full for
// the new content, are kept as they are; the run says so, leaving nothing beside.
TEST(FaultInjection, TargetKeptWhenTheRunCannotFinish)
{
    if (!installed("strace"))
        GTEST_SKIP() << "strace is not installed";
    // Each write a second late, or the second open (the output's); the rest
    // of the line runs once the first slowed call has begun.
    const std::string slowed = noLeakCheck +
                               "strace -f -o log -e trace=write -e inject=write:delay_enter=1000000 \"$@\" & "
                               "until grep -qs 'write(' log; do sleep 0.01; done; ";
    const std::string openSlowed = noLeakCheck + "strace -f -o log --quiet=path-resolution -P d/f -e trace=openat "
                                                 "-e inject=openat:delay_enter=1000000:when=2 \"$@\" & "
                                                 "until grep -qs 'openat(' log; do sleep 0.01; done; ";
    // A copy of font.bin on a tmpfs of `size`, bind-mounted over `target`.
    const auto bound = [](const char* size) {
        return std::string("mkdir small && mount -t tmpfs -o size=") + size +
               " tmpfs small && cp font.bin small/t && cp font.bin target && mount --bind small/t target && ";
    };
    const std::string renamedOver = "echo newer >n; mv n d/f; wait $!", boundState = "same\nt\n";
    const std::string boundCheck = "cmp small/t font.bin && echo same; ls -A small",
                      unmount = "umount target; umount small";
    const std::vector<std::string> rotate{"-r", "d/f"}, table{"-OCd/f"}, rotateBig{"-r", "big.bin", "target"},
        bigTable{"-P65532", "-S1", "-OCtarget"};
    const std::string failed = glyphrotMessage("error write output file");
    const std::string changed = "Error - can not write output file d/f (the file changed meanwhile)";
    const struct {
        const char* title;
        const std::string& program;  // glyphrot fails with 1, trivolta with 8
        const std::vector<std::string>& arguments;
        std::string script;          // "$@" runs the program
        std::string check;           // a shell line whose output tells the folder's state
        std::string state, console;  // console: standard output and error
        std::string teardown = "";   // unmounts, where the case needs root
    } cases[] = {
        {"renamed over between the input's open and the output's", glyphrot, rotate, openSlowed + renamedOver,
         "ls -A d; cat d/f", "f\nnewer\n", failed},
        {"renamed over", glyphrot, rotate, slowed + renamedOver, "ls -A d; cat d/f", "f\nnewer\n", failed},
        {"removed", glyphrot, rotate, slowed + "rm d/f; wait $!", "ls -A d", "", failed},
        {"linked", glyphrot, rotate, slowed + "ln d/f d/g; wait $!",
         "ls -A d; cmp d/f font.bin && cmp d/g font.bin && echo old", "f\ng\nold\n", failed},
        {"written", glyphrot, rotate, slowed + "echo more >>d/f; wait $!", "ls -A d; tail -c 5 d/f", "f\nmore\n",
         failed},
        {"renamed over", trivolta, table, slowed + renamedOver, "ls -A d; cat d/f", "f\nnewer\n", changed},
        {"removed", trivolta, table, slowed + "rm d/f; wait $!", "ls -A d", "", changed},
        {"linked", trivolta, table, slowed + "ln d/f d/g; wait $!", "ls -A d; cmp d/f font.bin && echo old",
         "f\ng\nold\n", changed},
        {"bind-mounted on a fuller file system", glyphrot, rotateBig,
         bound("1m") + "head -c 2000000 /dev/zero >big.bin && exec \"$@\"", boundCheck, boundState, failed, unmount},
        {"bind-mounted on a fuller file system", trivolta, bigTable, bound("300k") + "exec \"$@\"", boundCheck,
         boundState, "Error - can not write output file target (No space left on device)", unmount},
    };
    const std::string font = randomBytes(1 << 18);  // one write of glyphrot's
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.title) + ", " + c.program);
        const char* skip = posixLacks(c.title) != nullptr ? posixLacks(c.title) : "it needs root";
        if (posixLacks(c.title) != nullptr || (!c.teardown.empty() && geteuid() != 0)) {
            std::cout << "skipped, " << skip << ": " << c.title << "\n";
            continue;
        }
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(shell("mkdir d && cp font.bin d/f", dir.path()).status, 0);
        ProgramResult result = runInShell(c.script, c.program, c.arguments, dir.path());
        const std::string state = shell(c.check, dir.path()).out;
        (void)shell(c.teardown, dir.path());
        EXPECT_EQ(result.status, c.program == glyphrot ? 1 : 8);
        EXPECT_TRUE(sameBytes(c.console, result.out + result.err));
        EXPECT_TRUE(sameBytes(c.state, state));
    }
}

// The user nobody, for the commands of a root run that another user makes.
const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// Sets fs.`rule` (protected_symlinks, _regular, _fifos; none for "") for one
// case, and restores it. It holds a lock meanwhile, as the rule is the whole
// machine's; `why` tells why it could not be set.
struct StickyRule {
    explicit StickyRule(const std::string& rule) : path("/proc/sys/fs/" + rule)
    {
        if (rule.empty())
            return;
        const std::string lockPath = "/run/lock/firmware-tools-tests.lock";
        // Without O_CREAT first: fs.protected_regular refuses it on a file
        // that another user made in the sticky /run/lock.
        lock = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (lock < 0 && errno == ENOENT)
            lock = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (lock < 0)
            why = "the lock " + lockPath + " cannot be opened: " + std::strerror(errno);
        for (int waits = 0; why.empty() && flock(lock, LOCK_EX | LOCK_NB) != 0; ++waits) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                why = "the lock " + lockPath + " cannot be taken: " + std::strerror(errno);
            else if (waits == 6000)
                why = "another run has held " + lockPath + " for over 120 s";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (why.empty() && (saved = readFile(path)).empty())
            why = path + " cannot be read";
        if (!why.empty())
            return;
        writeFile(path, "1\n");
        if (readFile(path) == "0\n")
            why = "fs." + rule + " is 0 and cannot be set here (a read-only /proc/sys?)";
    }
    ~StickyRule()
    {
        if (!saved.empty() && readFile(path) != saved)
            writeFile(path, saved);
        if (lock >= 0)
            close(lock);
    }
    StickyRule(const StickyRule&) = delete;
    StickyRule& operator=(const StickyRule&) = delete;

    std::string path, saved, why;
    int lock = -1;
};

// `program` as nobody can start it: itself, else a copy in a folder open to
// all (for a build only root can enter); "" and `why` where neither runs.
std::string runnableByNobody(const std::string& program, std::string& why)
{
    const auto runnable = [](const std::string& path) {
        return shell(asNobody + "test -x \"$0\"", "/", {path}).status == 0;
    };
    if (runnable(program))
        return program;
    static const ScratchDir copies;
    std::string copy = copies.file(std::filesystem::path(program).filename().string());
    const ProgramResult copied =
        shell("{ [ -e \"$1\" ] || cp \"$0\" \"$1\"; } && chmod 755 \"$2\" \"$1\"", "/", {program, copy, copies.path()});
    if (copied.status == 0 && runnable(copy))
        return copy;
    why = "the user nobody cannot start " + program + ", nor a copy in " + copies.path() +
          (copied.status != 0 ? ": " + copied.err : " (is TMPDIR closed to other users?)");
    return "";
}

// Every entry's kind, mode, owner, links and size, and every file's ACL,
// extended attributes and inode flags.
std::string folderListing(const std::string& dir)
{
    return shell("find . -mindepth 1 -printf '%P %y %m %U %G %n %s\\n' | sort; "
                 "find . -type f | sort | while read -r f; do getfacl -p \"$f\"; "
                 "getfattr -h -d -m - \"$f\"; lsattr \"$f\" 2>/dev/null; done 2>&1",
                 dir)
        .out;
}

struct ReplacedFileCase {
    const char* title;
    std::string setup;           // shell line run in the folder first
    std::string name;            // the output name given
    const char* needsRoot = "";  // why the case runs only as root, or ""
    const char* rule = "";       // the sticky-folder rule the case is about
    const char* teardown = "";
    std::string runAs = "";     // the user that runs the program and the shell's write
    const char* umask = "022";  // of the runs
};

const std::vector<ReplacedFileCase> replacedFileCases = [] {
    std::string longName = "l";  // a path of 4095 bytes
    while (longName.size() + 251 < 4095)
        longName += "/" + std::string(250, 'd');
    const std::string longFolder = longName;
    longName += "/" + std::string(4095 - longName.size() - 1, 'f');
    const std::string& nobody = asNobody;
    const char* const append = "chattr +a needs root";
    const char* const mount = "mount needs root";
    const char* const plantedLink = "another user plants the link, and it sets fs.protected_symlinks";
    const std::string sticky = "chmod 755 .; mkdir -m 1777 s; " + nobody;  // another user's sticky folder
    return std::vector<ReplacedFileCase>{
        {"new file", "true", "out", "", "", "", "", "027"},
        {"mode kept", "echo old >out; chmod 604 out", "out"},
        {"set-id bits kept", "echo old >out; chmod 6755 out", "out"},
        {"set-id bits by their owner", "chown 65534:65534 .; " + nobody + "sh -c 'echo old >out; chmod 6755 out'",
         "out", "another user makes and writes the file", "", "", nobody},
        {"owner and group kept", "echo old >out; chmod 640 out; chown 4321:4321 out", "out",
         "the file belongs to another user"},
        {"symbolic link", "mkdir d; echo old >d/real; chmod 600 d/real; ln -s d/real out", "out"},
        {"link that leads nowhere yet", "mkdir d; ln -s d/made out", "out"},
        {"hard links", "echo old >out; ln out other", "out"},
        {"ACL kept", "echo old >out; chmod 640 out; setfacl -m u:nobody:rw,g::r out", "out"},
        {"folder's default ACL kept off", "echo old >out; setfacl -d -m u:nobody:rwx,g::---,o::--- .", "out"},
        {"new file takes the folder's default ACL", "setfacl -d -m u::rw,g::---,o::---,u:nobody:rw,m::rw .", "new.c",
         "", "", "", "", "0"},
        {"extended attributes kept",
         "echo old >out; setfattr -n user.a -v 1 out; setfattr -n trusted.b -v 2 out; "
         "setfattr -n security.c -v 3 out",
         "out", "trusted. and security. attributes are root's"},
        {"file capability", "echo old >out; setcap cap_net_raw+ep out", "out", "file capabilities are root's"},
        {"inode flags kept", "echo old >out; chattr +A +d +S out", "out", "the flags are set as root"},
        {"append-only folder", "mkdir a; echo old >a/out; chattr +a a", "a/out", append, "", "chattr -a a"},
        {"new file in an append-only folder", "mkdir a; chattr +a a", "a/new.c", append, "", "chattr -a a"},
        {"append-only folder its user cannot read",
         "chmod 755 .; mkdir a; echo old >a/out; chown -R 65534:65534 a; chmod 333 a; chattr +a a", "a/out",
         "chattr +a needs root, and another user writes the file", "", "chattr -a a", nobody},
        {"bind-mounted file", "echo under >a; echo old >out; mount --bind a out", "out", mount, "", "umount out"},
        {"path of 4095 bytes", "mkdir -p " + longFolder + " && echo old >" + longName, longName},
        {"immutable file", "echo old >out; chattr +i out", "out", "chattr +i needs root", "", "chattr -i out"},
        {"read-only mount", "mkdir ro; echo old >ro/out; mount --bind ro ro; mount -o remount,bind,ro ro", "ro/out",
         mount, "", "umount ro"},
        {"own link in a sticky folder", "echo old >real; mkdir -m 1777 s; ln -s ../real s/out", "s/out",
         "it sets fs.protected_symlinks", "protected_symlinks"},
        {"link planted in a sticky folder", "echo old >real; " + sticky + "ln -s ../real s/out", "s/out", plantedLink,
         "protected_symlinks"},
        {"planted link that leads nowhere yet", sticky + "ln -s ../made s/out", "s/out", plantedLink,
         "protected_symlinks"},
        {"file planted in a sticky folder", sticky + "sh -c 'echo planted >s/out'", "s/out",
         "another user plants the file, and it sets fs.protected_regular", "protected_regular"},
        {"FIFO planted in a sticky folder", sticky + "mkfifo s/out", "s/out",
         "another user plants the FIFO, and it sets fs.protected_fifos", "protected_fifos"},
    };
}();

const std::string replacedFont = randomBytes(64);

struct ReplacingProgram {
    const char* name;
    const std::string& program;
    std::vector<std::string> arguments;  // the output name is appended to the last
    std::string content;
    int refusedStatus;
};

const ReplacingProgram replacingPrograms[] = {
    {"trivolta", trivolta, {"-OC"}, defaultTable, 8},
    {"glyphrot", glyphrot, {"-r", "font.bin", ""}, plainConvert(replacedFont, true, false), 1},
};

// One case of the table with one program.
class ReplacedFile : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

// "folder's default ACL kept off" and "trivolta": FoldersDefaultACLKeptOff_trivolta.
std::string replacedFileTestName(const ::testing::TestParamInfo<ReplacedFile::ParamType>& info)
{
    std::string name, title = std::string(" ") + replacedFileCases[std::get<0>(info.param)].title;
    for (std::size_t i = 1; i < title.size(); ++i)  // a word starts after a space or a hyphen
        if (std::isalnum(static_cast<unsigned char>(title[i])) != 0)
            name += title[i - 1] == ' ' || title[i - 1] == '-'
                        ? static_cast<char>(std::toupper(static_cast<unsigned char>(title[i])))
                        : title[i];
    return name + "_" + replacingPrograms[std::get<1>(info.param)].name;
}

// A replaced or created file ends as ">" leaves it with the same bytes
// (owner, group, mode, ACL, attributes, flags, links), and where ">" is
// refused, so is the run. Each case runs in two folders made alike: the
// program in one, `cat NEW > NAME` in the other.
TEST_P(ReplacedFile, EndsAsARedirectionLeavesIt)
{
    const ReplacedFileCase& c = replacedFileCases[std::get<0>(GetParam())];
    const ReplacingProgram& p = replacingPrograms[std::get<1>(GetParam())];
    if (*c.needsRoot != '\0' && geteuid() != 0)
        GTEST_SKIP() << "runs as root only: " << c.needsRoot;
    if (posixLacks(c.title) != nullptr)
        GTEST_SKIP() << "the POSIX steps alone: " << posixLacks(c.title);
    const StickyRule rule(c.rule);
    if (!rule.why.empty())
        GTEST_SKIP() << rule.why;
    std::string program = p.program, why;
    if (!c.runAs.empty() && (program = runnableByNobody(p.program, why)).empty())
        GTEST_SKIP() << why;
    ScratchDir content, byProgram, byShell;
    writeFile(content.file("new"), p.content);
    const auto tearDown = [&] {
        for (const ScratchDir* dir : {&byProgram, &byShell})
            (void)shell(c.teardown, dir->path());
    };
    std::vector<std::string> arguments = p.arguments;
    arguments.back() += c.name;
    for (const ScratchDir* dir : {&byProgram, &byShell}) {
        writeFile(dir->file("font.bin"), replacedFont);
        ProgramResult made = shell("umask 022; " + c.setup, dir->path());
        if (made.status != 0) {
            tearDown();
            GTEST_SKIP() << "the folder cannot be set up here: " << made.err;
        }
    }
    const std::string umask = std::string("umask ") + c.umask + "; ";
    ProgramResult result =
        runInShell(umask + "exec " + c.runAs + "timeout 10 \"$@\"", program, arguments, byProgram.path());
    ProgramResult byCat = shell(umask + c.runAs + "timeout 10 sh -c 'cat >\"$0\"' \"$1\" <\"$0\"", byShell.path(),
                                {content.file("new"), c.name});
    // Read by a relative name, and while a mount is still there; where the
    // shell's write was refused, nothing is read.
    const std::string written = byCat.status == 0 ? shell("cat \"$0\"", byProgram.path(), {c.name}).out : "";
    tearDown();
    EXPECT_EQ(result.status, byCat.status == 0 ? 0 : p.refusedStatus) << result.out << result.err;
    EXPECT_TRUE(sameBytes(byCat.status == 0 ? p.content : "", written));
    EXPECT_TRUE(sameBytes(folderListing(byShell.path()), folderListing(byProgram.path())));
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, ReplacedFile,
                         ::testing::Combine(::testing::Range<std::size_t>(0, replacedFileCases.size()),
                                            ::testing::Range<std::size_t>(0, 2)),
                         replacedFileTestName);

// Under any limit on address space or descriptors the run ends with its own
// message, or cannot start; it never aborts, and the target is the old file
// or the new, whole, also where written directly. Each program must run out
// of memory under some limit, else the limits tested nothing.
TEST(FaultInjection, LimitsNeverCutTheTarget)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime needs more address space than any limit leaves";
#else
    const std::string font = randomBytes(1 << 20);
    const std::string large = randomBytes((4 << 20) + 5);  // more than the run's own buffers
    const std::string noMemory = glyphrotMessage("not enough memory for input file");
    const std::vector<std::string> inPlace{"-r", "font.bin"}, largeInPlace{"-r", "large.bin"};
    const struct {
        const char* title;
        const std::string& program;  // glyphrot fails with 1, trivolta with 8
        std::vector<std::string> arguments;
        std::string message;      // under some limit; "" where none must be met
        const char* target = "";  // made from `before`; "" for none
        bool linked = false;      // with a second name, so that it is written directly
        std::string before = "", after = "";
    } programs[] = {
        {"table", trivolta, {"-P65532", "-S100", "-OCt.c"}, "Error - not enough memory for the table"},
        {"glyphs to standard output", glyphrot, {"-r", "font.bin", "/dev/stdout"}, noMemory},
        {"glyphs in place", glyphrot, inPlace, noMemory, "font.bin", false, font, plainConvert(font, true, false)},
        {"glyphs in place, linked", glyphrot, largeInPlace, noMemory, "large.bin", true, large,
         plainConvert(large, true, false)},
        {"table over a linked file", trivolta, {"-OCt.c"}, "", "t.c", true, "the old table\n", defaultTable},
    };
    for (const auto& p : programs) {
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        if (*p.target != '\0')
            writeFile(dir.file(p.target), p.before);
        ASSERT_TRUE(!p.linked || ::link(dir.file(p.target).c_str(), dir.file("second-name").c_str()) == 0);
        const int failure = p.program == glyphrot ? 1 : 8;
        bool ranOut = false;
        int started = 0, succeeded = 0;  // the lowest limits of the coarse steps where it started, and converted
        const auto runUnder = [&](const std::string& limit, int value) {
            SCOPED_TRACE(std::string(p.title) + " under ulimit " + limit + " " + std::to_string(value));
            ProgramResult result = runInShell("ulimit " + limit + " " + std::to_string(value) + "; exec \"$@\"",
                                              p.program, p.arguments, dir.path());
            EXPECT_TRUE(result.status == 0 || result.status == 127 || result.status == failure) << result.status;
            if (result.status == failure && limit == "-v" && !p.message.empty()) {
                EXPECT_NE((result.out + result.err).find(p.message), std::string::npos) << result.out << result.err;
                ranOut = true;
            }
            if (*p.target != '\0') {
                const std::string now = readFile(dir.file(p.target));
                EXPECT_TRUE(now == p.before || now == p.after) << now.size() << " bytes";
                EXPECT_TRUE(result.status != 0 || now == p.after);
                if (now != p.before)
                    writeFile(dir.file(p.target), p.before);  // over the same file: the link stays
            }
            started = started == 0 && limit == "-v" && result.status != 127 ? value : started;
            succeeded = succeeded == 0 && limit == "-v" && result.status == 0 ? value : succeeded;
        };
        for (int kib = 1000; kib <= 16000; kib += 200)
            runUnder("-v", kib);
        // Finer steps just above where a program starts (once, 80 KiB where
        // not even bad_alloc fits) and, written directly, up to where it works.
        for (int kib = started - 200; started != 0 && kib <= (p.linked ? succeeded : started + 300); kib += 10)
            runUnder("-v", kib);
        for (int descriptors = 3; descriptors <= 8; ++descriptors)
            runUnder("-n", descriptors);
        EXPECT_TRUE(ranOut || p.message.empty()) << p.title;
    }
#endif
}

TEST(FaultInjection, SeventyThousandArguments)
{
    ScratchDir dir;
    std::vector<std::string> arguments(70000, "x");
    arguments.insert(arguments.end(), {"-P48", "-S16"});
    EXPECT_EQ(runProgram(trivolta, arguments, dir.path()).status, 0);
    EXPECT_EQ(readFile(dir.file("trivolta.c")).compare(0, 34, "code const uchar PhaseTable [48] ="), 0);

    writeFile(dir.file("font.bin"), randomBytes(64));
    std::vector<std::string> options(70000, "-x");
    options.insert(options.end(), {"-m", "font.bin", "-m"});
    EXPECT_EQ(runProgram(glyphrot, options, dir.path()).status, 0);
    options.insert(options.end(), {"a.bin", "b.bin"});
    ProgramResult refused = runProgram(glyphrot, options, dir.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(sameBytes(glyphrotMessage("error in input/output file names"), refused.err));
}

TEST(FaultInjection, HostileBytesInArgumentsAndNames)
{
    std::string hostile = "\x80\xff\x01\x1b[2J\t\x7f";
    for (int byte = 0x80; byte <= 0xFF; byte += 0x11)
        hostile += static_cast<char>(byte);
    const std::string name = "t" + hostile + ".c";

    ScratchDir dir;
    ProgramResult table = runProgram(trivolta, {"-OC" + name, "-P" + hostile, "-S" + hostile, "-A\xc1"}, dir.path());
    // No digits give period and shift 0, and -A\xc1 is pin 0: the empty table.
    EXPECT_EQ(table.status, 0);
    EXPECT_TRUE(sameBytes("", table.out));
    EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/empty.c"), readFile(dir.file(name))));

    // A name in a message cannot drive the terminal: it is quoted for a
    // shell, its control characters and stray bytes escaped.
    ProgramResult refused = runProgram(trivolta, {"-OCno/a\x1b[2J\tb'\xc3\xa4\xc2\x85\xff.c"}, dir.path());
    EXPECT_EQ(refused.status, 8);
    EXPECT_TRUE(
        sameBytes("Error - can not open output file 'no/a'$'\\033''[2J'$'\\t''b'\\''\xc3\xa4'$'\\302\\205\\377''.c' "
                  "(No such file or directory)",
                  refused.out));

    const std::string font = randomBytes(40);
    writeFile(dir.file(name), font);
    ProgramResult glyphs = runProgram(glyphrot, {"-m", name, "-\x80" + hostile}, dir.path());
    EXPECT_EQ(glyphs.status, 0);
    EXPECT_TRUE(sameBytes("", glyphs.out + glyphs.err));
    EXPECT_EQ(readFile(dir.file(name)).size(), font.size());
}

}  // namespace
