// Faults from outside the programs that the rows of faults.rows cannot
// say yet: a system call failing at each point of a run, and a target that
// another program changes while a run is slowed down.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
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
        {"bind-mounted on a fuller file system", "no space is held before a direct write"},
    };
    const auto found = cases.find(title);
    return std::string(REPLACE_SYSTEM) == "posix" && found != cases.end() ? found->second : nullptr;
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

}  // namespace
