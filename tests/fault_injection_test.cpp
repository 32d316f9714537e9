// Faults from outside the programs: full disks, file size limits, folders
// and missing folders, inputs that vanish, huge and hostile command lines.
// Each case checks the message, the status, that the input is unchanged and
// that nothing is written after the failure.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

const std::string trivolta = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);
const std::string glyphrot = programPath("GLYPHROT_PROGRAM", GLYPHROT_PROGRAM);

// Bytes seeded with their own length, so that each size is always the same.
std::string randomBytes(std::size_t length)
{
    return ::randomBytes(length, static_cast<unsigned>(length));
}

// Runs `program` under a file size limit of `kib` KiB; with SIGXFSZ ignored
// the write fails with EFBIG instead of killing the process.
ProgramResult runLimited(const std::string& program, const std::vector<std::string>& arguments, const std::string& dir,
                         int kib, bool ignoreSignal = true)
{
    // /bin/sh counts the limit in 512-byte blocks.
    const std::string trap = ignoreSignal ? "trap '' XFSZ; " : "";
    return runInShell(trap + "ulimit -f " + std::to_string(kib * 2) + "; exec \"$@\"", program, arguments, dir);
}

// The names in `dir`, hidden ones included, sorted.
std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string glyphrotMessage(const char* message)
{
    return std::string("\n") + message + "\n";
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

// Full disks, folders and missing folders are among the end-to-end cases of
// each program; these are the faults that only a hostile environment makes.
// Names the system refuses, and names of descriptors the caller did not
// hand over: whatever the program has open under that number is not
// written, and no file is made.
TEST(FaultInjection, TrivoltaRefusedNames)
{
    const std::string tooLong(100000, 'n');
    const struct {
        std::string script;
        std::string name;
        const char* reason;
    } cases[] = {
        {"exec \"$@\"", tooLong, "File name too long"},
        {"exec \"$@\" 2>&-", "/dev/stderr", "Bad file descriptor"},
        {"exec \"$@\"", "/dev/fd/3", "Bad file descriptor"},
        {"exec \"$@\" 3>/dev/null", "/proc/self/fd/4", "Bad file descriptor"},
        {std::string(inOtherPidNamespace) + " \"$@\"", "/dev/fd/3", "Bad file descriptor"},
        {"ln -s /dev/fd/5 link.c; exec \"$@\"", "link.c", "Bad file descriptor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        ScratchDir dir;
        ProgramResult result = runInShell(c.script, trivolta, {"-OC" + c.name}, dir.path());
        if (result.status == cannotRun) {
            std::cout << "skipped, no PID namespace can be made here: " << c.script << "\n";
            continue;
        }
        EXPECT_EQ(result.status, 8);
        EXPECT_TRUE(sameBytes("Error - can not open output file " + c.name + " (" + c.reason + ")", result.out));
        for (const std::string& name : filesIn(dir.path()))
            EXPECT_EQ(name, "link.c");
    }
}

// A file size limit below the new content's length, with SIGXFSZ ignored
// and at its default, which would kill the process: the run fails before
// its first byte, the file that was to be replaced keeps its old bytes, and
// nothing is left beside it; also where the file is written directly (a
// second link).
struct LimitCase {
    const char* title;
    bool ignoreSignal;
    std::vector<std::string> arguments;
    const char* target;  // the existing file the run was to replace
    bool linked;
    int status;
    std::string err;
};

void checkSizeLimitCases(const std::string& program, const std::vector<LimitCase>& cases, const std::string& out)
{
    const std::string font = randomBytes(1 << 20);
    const std::string old = randomBytes(3000);
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        if (std::string(c.target) != "font.bin")
            writeFile(dir.file(c.target), old);
        if (c.linked) {
            ASSERT_EQ(::link(dir.file(c.target).c_str(), dir.file("second-name").c_str()), 0);
        }
        const std::string wanted = std::string(c.target) == "font.bin" ? font : old;
        ProgramResult result = runLimited(program, c.arguments, dir.path(), 64, c.ignoreSignal);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(out, result.out));
        EXPECT_TRUE(sameBytes(c.err, result.err));
        EXPECT_TRUE(readFile(dir.file(c.target)) == wanted);
        EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
        EXPECT_EQ(filesIn(dir.path()), sorted({"font.bin", c.target, c.linked ? "second-name" : c.target}));
    }
}

TEST(FaultInjection, TrivoltaStopsAtTheFileSizeLimit)
{
    const std::vector<std::string> arguments{"-P65532", "-S1", "-OCbig.c"};
    checkSizeLimitCases(trivolta,
                        {
                            {"SIGXFSZ ignored", true, arguments, "big.c", false, 8, ""},
                            {"SIGXFSZ at its default", false, arguments, "big.c", false, 8, ""},
                            {"written directly", false, arguments, "big.c", true, 8, ""},
                        },
                        "Error - can not write output file big.c (File too large)");
}

TEST(FaultInjection, GlyphrotStopsAtTheFileSizeLimit)
{
    const std::string message = glyphrotMessage("error write output file");
    checkSizeLimitCases(
        glyphrot,
        {
            {"in place, SIGXFSZ ignored", true, {"-r", "font.bin"}, "font.bin", false, 1, message},
            {"in place, SIGXFSZ at its default", false, {"-r", "font.bin"}, "font.bin", false, 1, message},
            {"in place, written directly", false, {"-r", "font.bin"}, "font.bin", true, 1, message},
            {"second file, SIGXFSZ ignored", true, {"-r", "font.bin", "out.bin"}, "out.bin", false, 1, message},
            {"second file, SIGXFSZ at its default", false, {"-r", "font.bin", "out.bin"}, "out.bin", false, 1, message},
        },
        "");
}

TEST(FaultInjection, GlyphrotFailuresLeaveTheInputAlone)
{
    const std::string font = randomBytes(1 << 20);
    const std::string tooLong(100000, 'n');
    const char* const plain = "exec \"$@\"";
    // A run that would hang is stopped, and then fails the test.
    const char* const bounded = "exec timeout 10 \"$@\"";
    const struct {
        const char* title;
        std::string script;
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {"input removed before the run", plain, {"-r", "dangling.bin", "out.bin"}, "Error open input file"},
        {"100,000-character input name", plain, {"-r", tooLong}, "Error open input file"},
        {"100,000-character output name", plain, {"-r", "font.bin", tooLong}, "Error open output file"},
        {"in place on a FIFO", bounded, {"-r", "fifo"}, "Error open output file"},
        {"in place on a pipe", "cat font.bin | timeout 10 \"$@\"", {"-r", "/dev/stdin"}, "Error open output file"},
        // The input takes the lowest free descriptor: never the output.
        {"stdout closed", "exec \"$@\" >&-", {"-r", "font.bin", "/dev/stdout"}, "Error open output file"},
        {"descriptor 3 not open", plain, {"-r", "font.bin", "/dev/fd/3"}, "Error open output file"},
        {"descriptor 3 not open, in another PID namespace",
         inOtherPidNamespace + std::string(" \"$@\""),
         {"-r", "font.bin", "/dev/fd/3"},
         "Error open output file"},
        {"descriptor 4 not open",
         "exec \"$@\" 3</dev/null",
         {"-r", "font.bin", "/proc/self/fd/4"},
         "Error open output file"},
        {"descriptor 5 not open",
         "exec \"$@\" 3</dev/null 4</dev/null",
         {"-r", "font.bin", "/dev/fd/5"},
         "Error open output file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(runCommand("/bin/sh", {"-c", "ln -s removed.bin dangling.bin && mkfifo fifo"}, dir.path()).status, 0);
        ProgramResult result = runInShell(c.script, glyphrot, c.arguments, dir.path());
        if (result.status == cannotRun) {
            std::cout << "skipped, no PID namespace can be made here: " << c.title << "\n";
            continue;
        }
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(sameBytes("", result.out));
        EXPECT_TRUE(sameBytes(glyphrotMessage(c.message), result.err));
        EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
        EXPECT_EQ(filesIn(dir.path()), sorted({"dangling.bin", "fifo", "font.bin"}));
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

// A large file, made of one random block repeated, and what -r makes of it.
struct LargeFont {
    std::string old, converted;
};

LargeFont largeFont(std::size_t mebibytes)
{
    // The conversion of a whole number of cells is the conversion of each.
    const std::string block = randomBytes(1 << 16);
    const std::string rotated = plainConvert(block, true, false);
    LargeFont font;
    for (std::size_t i = 0; i < mebibytes * 16; ++i) {
        font.old += block;
        font.converted += rotated;
    }
    return font;
}

// Another program cuts the input while it is converted: the run either
// read it whole before that, or says so; it never dies of a signal, and the
// second file is never left half-written.
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
        EXPECT_EQ(filesIn(dir.path()), sorted({"big.bin", "out.bin"}));
    }
}

// True when the file system of `dir` has unnamed temporary files.
bool hasUnnamedFiles(const std::string& dir)
{
    const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

// Killed at a random moment while converting in place: the file is the old
// one or the new one, whole, and nothing stays beside it (a named temporary
// file may after SIGKILL, where the program makes no unnamed ones). Ctrl-C,
// SIGTERM and SIGHUP during a direct write (a second link) wait until the
// file is whole.
TEST(FaultInjection, GlyphrotKilledWhileConvertingInPlace)
{
    const LargeFont font = largeFont(200);
    std::mt19937 random(2);
    for (const char* signal : {"KILL", "TERM", "INT", "KILL", "TERM", "INT"}) {
        const std::string delay = "0." + std::to_string(100 + random() % 900);
        SCOPED_TRACE(std::string("SIG") + signal + " after " + delay + " s");
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font.old);
        // An interactive shell's Ctrl-C reaches the program with SIGINT at
        // its default action; a background job of sh would ignore it.
        ProgramResult result =
            runInShell("(trap - INT; exec \"$@\") & sleep " + delay + "; kill -" + signal + " $!; wait $!", glyphrot,
                       {"-r", "font.bin"}, dir.path());
        EXPECT_TRUE(result.status == 0 || result.status >= 128) << result.status;
        const std::string now = readFile(dir.file("font.bin"));
        EXPECT_TRUE(now == font.old || now == font.converted) << now.size() << " bytes";
        const bool named =
            std::string(signal) == "KILL" && (std::string(REPLACE_SYSTEM) == "posix" || !hasUnnamedFiles(dir.path()));
        for (const std::string& name : filesIn(dir.path()))
            EXPECT_TRUE(name == "font.bin" || (named && name.compare(0, 10, ".font.bin.") == 0)) << name;
    }
    if (runCommand("/bin/sh", {"-c", "command -v strace"}, ".").status != 0)
        GTEST_SKIP() << "strace is not installed";
    const LargeFont linked = largeFont(1);
    for (const char* signal : {"INT", "TERM", "HUP"}) {
        SCOPED_TRACE(std::string("SIG") + signal + " at the first write of a direct write");
        ScratchDir dir;
        writeFile(dir.file("font.bin"), linked.old);
        ASSERT_EQ(::link(dir.file("font.bin").c_str(), dir.file("second-name").c_str()), 0);
        ProgramResult result = runInShell(std::string("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 exec "
                                                      "strace -f -o /dev/null -e inject=write:signal=SIG") +
                                              signal + ":when=1 \"$@\"",
                                          glyphrot, {"-r", "font.bin"}, dir.path());
        EXPECT_TRUE(result.status == 0 || result.status >= 128) << result.status;
        const std::string now = readFile(dir.file("font.bin"));
        EXPECT_TRUE(now == linked.old || now == linked.converted) << now.size() << " bytes";
        EXPECT_EQ(filesIn(dir.path()), sorted({"font.bin", "second-name"}));
    }
}

// True when strace's `log` shows a close that failed, injected, on a
// descriptor the run had written to since it was opened.
bool writtenCloseFailed(const std::string& log)
{
    std::vector<std::string> written;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t call = line.find_first_not_of("0123456789 ");
        const std::size_t open = line.find('(', call);
        if (call == std::string::npos || open == std::string::npos)
            continue;
        const std::string name = line.substr(call, open - call);
        const std::string fd = line.substr(open + 1, line.find_first_of(",)", open) - open - 1);
        const std::size_t result = line.rfind(") = ");
        if (name == "close" && line.find("INJECTED") != std::string::npos &&
            std::find(written.begin(), written.end(), fd) != written.end())
            return true;
        if (name == "write" || name == "pwrite64")
            written.push_back(fd);
        else if (name == "close" || ((name == "openat" || name == "open") && result != std::string::npos))
            written.erase(std::remove(written.begin(), written.end(), name == "close" ? fd : line.substr(result + 4)),
                          written.end());
    }
    return false;
}

// One system call that fails at any one point of the run (EIO, or EMFILE
// and ENOMEM for opens, EDQUOT for a close): the run fails or works, and the
// target is the old file or the new one, whole. A failed close of the new
// content fails the run. With every write failing as well, the target must
// stay as it was, also where it is written directly (a file with a second
// link): nothing changes it before the first write, and after the last only
// the cut and the close can fail the run.
TEST(FaultInjection, OneFailedCallNeverCutsTheTarget)
{
    if (runCommand("/bin/sh", {"-c", "command -v strace && command -v setfacl"}, ".").status != 0)
        GTEST_SKIP() << "strace or setfacl is not installed";
    const std::string font = randomBytes(1 << 16);
    const std::string old = "the old table\n";
    const std::string table = readFile(std::string(TRIVOLTA_GOLDEN) + "/default.c");
    const struct {
        const std::string& program;
        std::vector<std::string> arguments;
        const char* target;
        bool linked;
        std::string before, after;
    } programs[] = {
        {glyphrot, {"-r", "a.bin"}, "a.bin", false, font, plainConvert(font, true, false)},
        {trivolta, {"-OCa.c"}, "a.c", false, old, table},
        {glyphrot, {"-r", "a.bin"}, "a.bin", true, font, plainConvert(font, true, false)},
        {trivolta, {"-OCa.c"}, "a.c", true, old, table},
    };
    const struct {
        const char* calls;
        const char* error;
        int upTo;  // the first upTo calls fail, one run each
    } faults[] = {
        {"%stat,%fstat", "EIO", 16}, {"openat", "EIO", 10},
        {"openat", "EMFILE", 10},    {"openat", "ENOMEM", 10},
        {"readlink", "EIO", 3},      {"ioctl", "EIO", 3},
        {"flistxattr", "EIO", 3},    {"fgetxattr", "EIO", 3},
        {"fsetxattr", "ENOMEM", 3},  {"fremovexattr", "EIO", 2},
        {"fchown", "EIO", 2},        {"fchmod", "EIO", 2},
        {"linkat", "EIO", 2},        {"renameat,renameat2", "EIO", 2},
        {"ftruncate", "EIO", 2},     {"fcntl", "EMFILE", 3},
        {"statx", "EIO", 2},         {"fallocate", "ENOSPC", 1},
        {"lseek", "EIO", 2},         {"getdents64", "EIO", 1},
        {"pwrite64", "EIO", 1},      {"close,fsync,fdatasync", "EDQUOT", 8},
    };
    for (const auto& p : programs) {
        for (const auto& f : faults) {
            for (int call = 1; call <= f.upTo; ++call) {
                for (const bool writesFail : {false, true}) {
                    SCOPED_TRACE(p.program + (p.linked ? " (linked)" : "") + ": " + f.calls + " call " +
                                 std::to_string(call) + " fails with " + f.error +
                                 (writesFail ? ", every write fails" : ""));
                    ScratchDir dir;
                    writeFile(dir.file(p.target), p.before);
                    if (p.linked) {
                        ASSERT_EQ(::link(dir.file(p.target).c_str(), dir.file("b").c_str()), 0);
                    }
                    ASSERT_EQ(
                        runCommand("/bin/sh", {"-c", std::string("setfacl -m u:nobody:r ") + p.target}, dir.path())
                            .status,
                        0);
                    const std::string writes = writesFail ? "-e inject=write:error=EIO " : "";
                    ScratchDir logs;
                    ProgramResult result =
                        runInShell("exec strace -f -o " + logs.file("log") + " -e inject=" + f.calls +
                                       ":error=" + f.error + ":when=" + std::to_string(call) + " " + writes + "\"$@\"",
                                   p.program, p.arguments, dir.path());
                    // Other statuses come from the loader or a sanitizer
                    // runtime, which make such calls of their own.
                    const std::string now = readFile(dir.file(p.target));
                    EXPECT_TRUE(writesFail ? now == p.before : now == p.before || now == p.after);
                    const bool failed = result.status == 1 || result.status == 8;
                    EXPECT_TRUE(failed || !writtenCloseFailed(readFile(logs.file("log")))) << result.status;
                    // Written directly, the target holds the new content once
                    // the last byte reached it, and only the cut or the close
                    // can fail after that.
                    const std::string calls = f.calls;
                    if (result.status == 0 || (failed && (!p.linked || (calls != "ftruncate" && calls[0] != 'c')))) {
                        EXPECT_TRUE(sameBytes(result.status == 0 ? p.after : p.before, now));
                    }
                    EXPECT_EQ(filesIn(dir.path()), p.linked ? sorted({p.target, "b"}) : sorted({p.target}));
                }
            }
        }
    }
}

// What the run cannot finish without harm leaves the target as it is: a
// file that another program replaced, removed, linked or wrote while the
// run was slowed down (each write a second late), and a bind-mounted file
// on a file system with too little room for the new content. The run says
// so, and nothing is left beside the target.
TEST(FaultInjection, TargetKeptWhenTheRunCannotFinish)
{
    if (runCommand("/bin/sh", {"-c", "command -v strace"}, ".").status != 0)
        GTEST_SKIP() << "strace is not installed";
    // Each write of the program's a second late; the rest of the line runs
    // once the first has begun. LeakSanitizer, where the programs are built
    // with it, cannot work under strace.
    const char* const slowed =
        "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -o log -e trace=write "
        "-e inject=write:delay_enter=1000000 \"$@\" & "
        "until grep -qs 'write(' log; do sleep 0.01; done; ";
    const std::string glyphrotFailed = glyphrotMessage("error write output file");
    const std::string changed = "Error - can not write output file d/f (the file changed meanwhile)";
    const struct {
        const char* title;
        const std::string& program;
        std::vector<std::string> arguments;
        std::string script;  // "$@" runs the program
        bool rootOnly;
        const char* check;  // a shell line whose output tells the folder's state
        std::string state;
        int status;
        std::string console;  // standard output and error
        const char* teardown;
    } cases[] = {
        {"renamed over between the input's open and the output's",
         glyphrot,
         {"-r", "d/f"},
         "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -o log --quiet=path-resolution -P d/f "
         "-e trace=openat -e inject=openat:delay_enter=1000000:when=2 \"$@\" & "
         "until grep -qs 'openat(' log; do sleep 0.01; done; echo newer >n; mv n d/f; wait $!",
         false,
         "ls -A d; cat d/f",
         "f\nnewer\n",
         1,
         glyphrotFailed,
         ""},
        {"renamed over",
         glyphrot,
         {"-r", "d/f"},
         std::string(slowed) + "echo newer >n; mv n d/f; wait $!",
         false,
         "ls -A d; cat d/f",
         "f\nnewer\n",
         1,
         glyphrotFailed,
         ""},
        {"removed",
         glyphrot,
         {"-r", "d/f"},
         std::string(slowed) + "rm d/f; wait $!",
         false,
         "ls -A d",
         "",
         1,
         glyphrotFailed,
         ""},
        {"linked",
         glyphrot,
         {"-r", "d/f"},
         std::string(slowed) + "ln d/f d/g; wait $!",
         false,
         "ls -A d; cmp d/f font.bin && cmp d/g font.bin && echo old",
         "f\ng\nold\n",
         1,
         glyphrotFailed,
         ""},
        {"written",
         glyphrot,
         {"-r", "d/f"},
         std::string(slowed) + "echo more >>d/f; wait $!",
         false,
         "ls -A d; tail -c 5 d/f",
         "f\nmore\n",
         1,
         glyphrotFailed,
         ""},
        {"renamed over",
         trivolta,
         {"-OCd/f"},
         std::string(slowed) + "echo newer >n; mv n d/f; wait $!",
         false,
         "ls -A d; cat d/f",
         "f\nnewer\n",
         8,
         changed,
         ""},
        {"removed",
         trivolta,
         {"-OCd/f"},
         std::string(slowed) + "rm d/f; wait $!",
         false,
         "ls -A d",
         "",
         8,
         changed,
         ""},
        {"linked",
         trivolta,
         {"-OCd/f"},
         std::string(slowed) + "ln d/f d/g; wait $!",
         false,
         "ls -A d; cmp d/f font.bin && echo old",
         "f\ng\nold\n",
         8,
         changed,
         ""},
        {"bind-mounted on a fuller file system",
         glyphrot,
         {"-r", "big.bin", "target"},
         "mkdir small && mount -t tmpfs -o size=1m tmpfs small && cp font.bin small/t && cp font.bin target && "
         "mount --bind small/t target && head -c 2000000 /dev/zero >big.bin && exec \"$@\"",
         true,
         "cmp small/t font.bin && echo same; ls -A small",
         "same\nt\n",
         1,
         glyphrotFailed,
         "umount target; umount small"},
        {"bind-mounted on a fuller file system",
         trivolta,
         {"-P65532", "-S1", "-OCtarget"},
         "mkdir small && mount -t tmpfs -o size=300k tmpfs small && cp font.bin small/t && cp font.bin target && "
         "mount --bind small/t target && exec \"$@\"",
         true,
         "cmp small/t font.bin && echo same; ls -A small",
         "same\nt\n",
         8,
         "Error - can not write output file target (No space left on device)",
         "umount target; umount small"},
    };
    const std::string font = randomBytes(1 << 18);  // one write of glyphrot's
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.title) + ", " + c.program);
        if ((c.rootOnly && geteuid() != 0) || posixLacks(c.title) != nullptr) {
            std::cout << "skipped, " << (posixLacks(c.title) != nullptr ? posixLacks(c.title) : "it needs root") << ": "
                      << c.title << "\n";
            continue;
        }
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(runCommand("/bin/sh", {"-c", "mkdir d && cp font.bin d/f"}, dir.path()).status, 0);
        ProgramResult result = runInShell(c.script, c.program, c.arguments, dir.path());
        const std::string state = runCommand("/bin/sh", {"-c", c.check}, dir.path()).out;
        (void)runCommand("/bin/sh", {"-c", c.teardown}, dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(c.console, result.out + result.err));
        EXPECT_TRUE(sameBytes(c.state, state));
    }
}

// The user nobody, for the commands of a root run that another user makes.
const char* const asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// Sets one of the system's rules for links and files planted in sticky
// folders (fs.protected_symlinks, protected_regular, protected_fifos) for
// one case, and restores it. The rules belong to the whole machine: while
// one is set, this holds a lock that every run of these tests takes, so that
// two runs at once never undo each other's. Where the lock is not had in
// time, or the rule reads back unset (a read-only /proc/sys), why() says so.
class StickyRule {
public:
    explicit StickyRule(const std::string& rule) : path_("/proc/sys/fs/" + rule)
    {
        const char* const lockPath = "/run/lock/firmware-tools-tests.lock";
        // Without O_CREAT first: fs.protected_regular refuses it on a file
        // that another user made in the sticky /run/lock.
        lock_ = open(lockPath, O_RDONLY | O_CLOEXEC);
        if (lock_ < 0 && errno == ENOENT)
            lock_ = open(lockPath, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (lock_ < 0) {
            why_ = std::string("the lock ") + lockPath + " cannot be opened: " + std::strerror(errno);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (flock(lock_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                why_ = std::string("the lock ") + lockPath + " cannot be taken: " + std::strerror(errno);
                return;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                why_ = std::string("another run has held ") + lockPath + " for over 120 s";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        saved_ = readFile(path_);
        if (saved_.empty()) {
            why_ = path_ + " cannot be read";
            return;
        }
        writeFile(path_, "1\n");
        const std::string now = readFile(path_);
        if (now == "0\n")
            why_ = "fs." + rule + " is 0 and cannot be set here (a read-only /proc/sys?)";
    }
    ~StickyRule()
    {
        if (!saved_.empty() && readFile(path_) != saved_)
            writeFile(path_, saved_);
        if (lock_ >= 0)
            close(lock_);
    }
    StickyRule(const StickyRule&) = delete;
    StickyRule& operator=(const StickyRule&) = delete;
    const std::string& why() const { return why_; }

private:
    std::string path_;
    int lock_ = -1;
    std::string saved_;
    std::string why_;
};

// `program` as the user nobody can start it: itself where nobody reaches
// it, else a copy in a scratch folder open to everyone (a build in a folder
// only root can enter); "" and the reason where neither can be run.
std::string runnableByNobody(const std::string& program, std::string& why)
{
    const auto runnable = [](const std::string& path) {
        return runCommand("/bin/sh", {"-c", std::string(asNobody) + "test -x \"$0\"", path}, "/").status == 0;
    };
    if (runnable(program))
        return program;
    static const ScratchDir copies;
    std::string copy = copies.file(std::filesystem::path(program).filename().string());
    std::error_code failed;
    if (!fileExists(copy))
        std::filesystem::copy_file(program, copy, failed);
    const auto open = std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec;
    if (!failed)
        std::filesystem::permissions(copies.path(), open, failed);
    if (!failed)
        std::filesystem::permissions(copy, open, failed);
    if (!failed && runnable(copy))
        return copy;
    why = "the user nobody cannot start " + program + ", nor a copy in " + copies.path() +
          (failed ? ": " + failed.message() : " (is TMPDIR closed to other users?)");
    return "";
}

// Every entry of the folder with its kind, mode, owner, links and size, and
// every file's ACL, extended attributes and inode flags (where the file
// system has them).
std::string folderListing(const std::string& dir)
{
    return runCommand("/bin/sh",
                      {"-c", "find . -mindepth 1 -printf '%P %y %m %U %G %n %s\\n' | sort; "
                             "find . -type f | sort | while read -r f; do getfacl -p \"$f\"; "
                             "getfattr -h -d -m - \"$f\"; lsattr \"$f\" 2>/dev/null; done 2>&1"},
                      dir)
        .out;
}

struct ReplacedFileCase {
    const char* title;
    std::string setup;      // shell line run in the folder first
    std::string name;       // the output name given
    const char* needsRoot;  // why the case runs only as root, or ""
    const char* teardown;
    std::string runAs = "";       // the user that runs the program and the shell's write
    const char* afterShell = "";  // what the shell's write loses and the program keeps
    const char* umask = "022";    // of the runs
    const char* rule = "";        // the sticky-folder rule the case is about
};

const std::vector<ReplacedFileCase>& replacedFileCases()
{
    static const std::vector<ReplacedFileCase> cases = [] {
        std::string longName = "l";  // a path of 4095 bytes
        while (longName.size() + 251 < 4095)
            longName += "/" + std::string(250, 'd');
        const std::string longFolder = longName;
        longName += "/" + std::string(4095 - longName.size() - 1, 'f');
        const std::string nobody = asNobody;
        const char* const append = "chattr +a needs root";
        const char* const mount = "mount needs root";
        return std::vector<ReplacedFileCase>{
            {"new file", "true", "out", "", "", "", "", "027"},
            {"mode kept", "echo old >out; chmod 604 out", "out", "", ""},
            {"set-id bits kept", "echo old >out; chmod 6755 out", "out", "", ""},
            {"set-id bits by their owner", "chown 65534:65534 .; " + nobody + "sh -c 'echo old >out; chmod 6755 out'",
             "out", "another user makes and writes the file", "", nobody},
            {"owner and group kept", "echo old >out; chmod 640 out; chown 4321:4321 out", "out",
             "the file belongs to another user", ""},
            {"symbolic link", "mkdir d; echo old >d/real; chmod 600 d/real; ln -s d/real out", "out", "", ""},
            {"link that leads nowhere yet", "mkdir d; ln -s d/made out", "out", "", ""},
            {"hard links", "echo old >out; ln out other", "out", "", ""},
            {"ACL kept", "echo old >out; chmod 640 out; setfacl -m u:nobody:rw,g::r out", "out", "", ""},
            {"folder's default ACL kept off", "echo old >out; setfacl -d -m u:nobody:rwx,g::---,o::--- .", "out", "",
             ""},
            {"new file takes the folder's default ACL", "setfacl -d -m u::rw,g::---,o::---,u:nobody:rw,m::rw .",
             "new.c", "", "", "", "", "0"},
            {"extended attributes kept",
             "echo old >out; setfattr -n user.a -v 1 out; setfattr -n trusted.b -v 2 out; "
             "setfattr -n security.c -v 3 out",
             "out", "trusted. and security. attributes are root's", ""},
            {"file capability", "echo old >out; setcap cap_net_raw+ep out", "out", "file capabilities are root's", ""},
            {"inode flags kept", "echo old >out; chattr +A +d +S out", "out", "the flags are set as root", ""},
            {"append-only folder", "mkdir a; echo old >a/out; chattr +a a", "a/out", append, "chattr -a a"},
            {"new file in an append-only folder", "mkdir a; chattr +a a", "a/new.c", append, "chattr -a a"},
            {"append-only folder its user cannot read",
             "chmod 755 .; mkdir a; echo old >a/out; chown -R 65534:65534 a; chmod 333 a; chattr +a a", "a/out",
             "chattr +a needs root, and another user writes the file", "chattr -a a", nobody},
            {"bind-mounted file", "echo under >a; echo old >out; mount --bind a out", "out", mount, "umount out"},
            {"path of 4095 bytes", "mkdir -p " + longFolder + " && echo old >" + longName, longName, "", ""},
            {"immutable file", "echo old >out; chattr +i out", "out", "chattr +i needs root", "chattr -i out"},
            {"read-only mount", "mkdir ro; echo old >ro/out; mount --bind ro ro; mount -o remount,bind,ro ro", "ro/out",
             mount, "umount ro"},
            {"own link in a sticky folder", "echo old >real; mkdir -m 1777 s; ln -s ../real s/out", "s/out",
             "it sets fs.protected_symlinks", "", "", "", "022", "protected_symlinks"},
            {"link planted in a sticky folder",
             "echo old >real; chmod 755 .; mkdir -m 1777 s; " + nobody + "ln -s ../real s/out", "s/out",
             "another user plants the link, and it sets fs.protected_symlinks", "", "", "", "022",
             "protected_symlinks"},
            {"planted link that leads nowhere yet", "chmod 755 .; mkdir -m 1777 s; " + nobody + "ln -s ../made s/out",
             "s/out", "another user plants the link, and it sets fs.protected_symlinks", "", "", "", "022",
             "protected_symlinks"},
            {"file planted in a sticky folder",
             "chmod 755 .; mkdir -m 1777 s; " + nobody + "sh -c 'echo planted >s/out'", "s/out",
             "another user plants the file, and it sets fs.protected_regular", "", "", "", "022", "protected_regular"},
            {"FIFO planted in a sticky folder", "chmod 755 .; mkdir -m 1777 s; " + nobody + "mkfifo s/out", "s/out",
             "another user plants the FIFO, and it sets fs.protected_fifos", "", "", "", "022", "protected_fifos"},
        };
    }();
    return cases;
}

const std::string replacedFont = randomBytes(64);

struct ReplacingProgram {
    const char* name;
    const std::string& program;
    std::vector<std::string> arguments;  // the output name follows
    std::string content;
    int refusedStatus;
};

const std::vector<ReplacingProgram>& replacingPrograms()
{
    static const std::vector<ReplacingProgram> programs{
        {"trivolta", trivolta, {"-OC"}, readFile(std::string(TRIVOLTA_GOLDEN) + "/default.c"), 8},
        {"glyphrot", glyphrot, {"-r", "font.bin"}, plainConvert(replacedFont, true, false), 1},
    };
    return programs;
}

// One case of the table with one program.
class ReplacedFile : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

// "folder's default ACL kept off" and "trivolta": FoldersDefaultACLKeptOff_trivolta.
std::string replacedFileTestName(const ::testing::TestParamInfo<ReplacedFile::ParamType>& info)
{
    std::string name;
    bool wordStart = true;
    for (const char* c = replacedFileCases()[std::get<0>(info.param)].title; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (std::isalnum(byte) != 0)
            name += static_cast<char>(wordStart ? std::toupper(byte) : byte);
        wordStart = *c == ' ' || *c == '-';
    }
    return name + "_" + replacingPrograms()[std::get<1>(info.param)].name;
}

// A replaced or created file ends as the shell's ">" (the open that "wb"
// makes) leaves it with the same bytes: owner, group, mode bits with set-id,
// ACL, extended attributes and inode flags, links followed and kept; a
// folder's default ACL reaches only new files. Where that open is refused
// (links and files planted by another user in a sticky folder, an immutable
// file), the run is refused too and nothing changes. Each case runs in two
// folders made alike: the program in one, `cat NEW > NAME` in the other.
TEST_P(ReplacedFile, EndsAsARedirectionLeavesIt)
{
    const ReplacedFileCase& c = replacedFileCases()[std::get<0>(GetParam())];
    const ReplacingProgram& p = replacingPrograms()[std::get<1>(GetParam())];
    if (*c.needsRoot != '\0' && geteuid() != 0)
        GTEST_SKIP() << "runs as root only: " << c.needsRoot;
    if (posixLacks(c.title) != nullptr)
        GTEST_SKIP() << "the POSIX steps alone: " << posixLacks(c.title);
    std::unique_ptr<StickyRule> rule;
    if (*c.rule != '\0') {
        rule = std::make_unique<StickyRule>(c.rule);
        if (!rule->why().empty())
            GTEST_SKIP() << rule->why();
    }
    std::string program = p.program;
    if (!c.runAs.empty()) {
        std::string why;
        program = runnableByNobody(p.program, why);
        if (program.empty())
            GTEST_SKIP() << why;
    }
    ScratchDir content;
    writeFile(content.file("new"), p.content);
    ScratchDir byProgram;
    ScratchDir byShell;
    const auto tearDown = [&] {
        for (const ScratchDir* dir : {&byProgram, &byShell})
            (void)runCommand("/bin/sh", {"-c", c.teardown}, dir->path());
    };
    std::vector<std::string> arguments = p.arguments;
    if (arguments.size() == 1)
        arguments[0] += c.name;
    else
        arguments.push_back(c.name);
    for (const ScratchDir* dir : {&byProgram, &byShell}) {
        writeFile(dir->file("font.bin"), replacedFont);
        ProgramResult made = runCommand("/bin/sh", {"-c", "umask 022; " + c.setup}, dir->path());
        if (made.status != 0) {
            tearDown();
            GTEST_SKIP() << "the folder cannot be set up here: " << made.err;
        }
    }
    const std::string setup = std::string("umask ") + c.umask + "; ";
    ProgramResult result =
        runInShell(setup + "exec " + c.runAs + "timeout 10 \"$@\"", program, arguments, byProgram.path());
    ProgramResult shell =
        runCommand("/bin/sh",
                   {"-c", setup + c.runAs + "timeout 10 sh -c 'cat >\"$0\"' \"$1\" <\"$0\"" + c.afterShell,
                    content.file("new"), c.name},
                   byShell.path());
    // Read by a relative name, and while a mount is still there.
    const std::string written =
        shell.status == 0 ? runCommand("/bin/sh", {"-c", "cat \"$0\"", c.name}, byProgram.path()).out : "";
    tearDown();
    EXPECT_EQ(result.status, shell.status == 0 ? 0 : p.refusedStatus) << result.out << result.err;
    if (shell.status == 0) {
        EXPECT_TRUE(sameBytes(p.content, written));
    }
    EXPECT_TRUE(sameBytes(folderListing(byShell.path()), folderListing(byProgram.path())));
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, ReplacedFile,
                         ::testing::Combine(::testing::Range<std::size_t>(0, replacedFileCases().size()),
                                            ::testing::Range<std::size_t>(0, 2)),
                         replacedFileTestName);

// Under any limit on the address space or on descriptors the run ends with
// its own message, or could not start; it never aborts, and the file it was
// to replace is the old one or the new one, whole: everything the run needs
// is in hand before the target changes, also where the target itself is
// written (a file with a second link). Each program must have run out of
// memory under some limit, else the limits tested nothing.
TEST(FaultInjection, LimitsNeverCutTheTarget)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime needs more address space than any limit leaves";
#else
    const std::string font = randomBytes(1 << 20);
    // More than the run's own buffers: its whole input, where it is held.
    const std::string large = randomBytes((4 << 20) + 5);
    const std::string table = readFile(std::string(TRIVOLTA_GOLDEN) + "/default.c");
    const std::string oldTable = "the old table\n";
    const struct {
        const char* title;
        const std::string& program;
        std::vector<std::string> arguments;
        int status;
        std::string message;
        const char* target;  // made from `before`; "" for none
        bool linked;         // with a second name, so that it is written directly
        std::string before, after;
    } programs[] = {
        {"table",
         trivolta,
         {"-P65532", "-S100", "-OCt.c"},
         8,
         "Error - not enough memory for the table",
         "",
         false,
         "",
         ""},
        {"glyphs to standard output",
         glyphrot,
         {"-r", "font.bin", "/dev/stdout"},
         1,
         glyphrotMessage("not enough memory for input file"),
         "",
         false,
         "",
         ""},
        {"glyphs in place",
         glyphrot,
         {"-r", "font.bin"},
         1,
         glyphrotMessage("not enough memory for input file"),
         "font.bin",
         false,
         font,
         plainConvert(font, true, false)},
        {"glyphs in place, linked",
         glyphrot,
         {"-r", "large.bin"},
         1,
         glyphrotMessage("not enough memory for input file"),
         "large.bin",
         true,
         large,
         plainConvert(large, true, false)},
        {"table over a linked file", trivolta, {"-OCt.c"}, 8, "", "t.c", true, oldTable, table},
    };
    for (const auto& p : programs) {
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        if (*p.target != '\0')
            writeFile(dir.file(p.target), p.before);
        if (p.linked) {
            ASSERT_EQ(::link(dir.file(p.target).c_str(), dir.file("second-name").c_str()), 0);
        }
        bool ranOut = false;
        int started = 0;    // the lowest limit of the coarse steps under which the program started
        int succeeded = 0;  // and under which it converted
        const auto runUnder = [&](const std::string& limit, int value) {
            SCOPED_TRACE(std::string(p.title) + " under ulimit " + limit + " " + std::to_string(value));
            ProgramResult result = runInShell("ulimit " + limit + " " + std::to_string(value) + "; exec \"$@\"",
                                              p.program, p.arguments, dir.path());
            EXPECT_TRUE(result.status == 0 || result.status == 127 || result.status == p.status) << result.status;
            if (result.status == p.status && limit == "-v" && !p.message.empty()) {
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
            if (result.status != 127 && started == 0 && limit == "-v")
                started = value;
            if (result.status == 0 && succeeded == 0 && limit == "-v")
                succeeded = value;
        };
        for (int kib = 1000; kib <= 16000; kib += 200)
            runUnder("-v", kib);
        // Just above where a program can start lies a narrow band (80 KiB
        // wide, once) where not even the bad_alloc can be allocated; where
        // the target itself is written, up to where the run succeeds, the
        // whole input is allocated before the target may change.
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
    ProgramResult converted = runProgram(glyphrot, options, dir.path());
    EXPECT_EQ(converted.status, 0);
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
    EXPECT_TRUE(sameBytes(readFile(std::string(TRIVOLTA_GOLDEN) + "/empty.c"), readFile(dir.file(name))));

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
