// Runs the built trivolta and compares exit status, console and file bytes.
#include "run_program.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

const std::string program = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);
const std::string warning = "Warning - period / 6 give not WHOLE number";
const std::string tooBig = "Error - shift is too big (period < shift * 3)";
const char usage[] = "3-phase table generator utility from KORVINEX (www.korvinex.example). Usage:\n"
                     "\ttrivolta.exe -Ai -Bj -Ck -Pn -Sm -O<C|A><output_file_name> -Ul \n"
                     "Options are:\n\t\n\t\n\t\n\t\n";

// An existing file is kept by a failed run, and replaced under a short name,
// under one longer than MAX_PATH (260), and through a link beside it or into
// a folder: the files and links are the same afterwards.
TEST(TrivoltaCli, Runs)
{
    const std::string longName = std::string(150, 'a') + "/" + std::string(150, 'b') + "/trivolta.c";
    const std::string old = "printf %01000d 0 >";  // longer than the table
    const std::string cannotOpen = "Error - can not open output file ";
    const std::string full = "Error - can not write output file " + fullDevice() + " (No space left on device)";
    const char* const folder = testingWindowsPrograms() ? ". (Permission denied)" : ". (Is a directory)";
    const std::string help = readFile(TRIVOLTA_GOLDEN "/help.txt");
    const struct {
        const char* title;
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string file = "";    // the file expected in the working directory, or "" for none
        std::string golden = "";  // its golden content
        std::string setup = "";   // a shell line that makes the file `file` leads to, $0 standing for `file`
    } cases[] = {
        {"no arguments", {}, 0, usage},
        {"help", {"--help"}, 0, help},
        {"short help", {"-h"}, 0, help},
        {"version", {"--version"}, 0, "trivolta " FIRMWARE_TOOLS_VERSION "\n"},
        {"help among other arguments", {"-h", "-OCt.c"}, 0, "", "t.c", "default.c"},
        {"name outside the ANSI code page", {"-OC\u03c0.c"}, 0, "", "\u03c0.c", "default.c"},
        {"defaults", {"x"}, 0, "", "trivolta.c", "default.c"},
        {"assembler", {"-OAtable.asm"}, 0, "", "table.asm", "default.asm"},
        {"assembler keeps the default name", {"-OA"}, 0, "", "trivolta.c", "default.asm"},
        {"empty table", {"-P0", "-S0", "-OCempty.c"}, 0, "", "empty.c", "empty.c"},
        {"sinus", {"-mS", "-OCsinus.c"}, 0, "", "sinus.c", "default.c"},
        {"pins", {"-A1"}, 1, "Error in pin numbers", "trivolta.c", "empty.c", "cp '" TRIVOLTA_GOLDEN "/empty.c' $0"},
        {"split period", {"-P", "48"}, 4, tooBig},
        {"odd period", {"-P41"}, 6, warning + "Error - period is not EVEN number" + tooBig},
        {"missing folder", {"-OCno/such/dir.c"}, 8, cannotOpen + "no/such/dir.c (No such file or directory)"},
        {"folder", {"-OC."}, 8, cannotOpen + folder},
        {"full disk", {"-OC" + fullDevice()}, 8, full},
        {"existing file", {"x"}, 0, "", "trivolta.c", "default.c", old + "$0"},
        {"long name", {"-OC" + longName}, 0, "", longName, "default.c", "mkdir -p ${0%/*} && " + old + "$0"},
        {"link", {"-OCl.c"}, 0, "", "l.c", "default.c", old + "r.c && ln -s r.c $0"},
        {"link into a folder", {"-OCl.c"}, 0, "", "l.c", "default.c", "mkdir d && " + old + "d/r.c && ln -s d/r.c $0"},
    };
    const std::string filesAndLinks = "find . -type l -printf '%P -> %l\\n' -o -type f -printf '%P\\n' | sort";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        if (shell(c.setup, dir.path(), {c.file}).status != 0 && c.setup.find("ln -s") != std::string::npos) {
            std::cout << "skipped, TMPDIR's file system has no symbolic links (set TMPDIR): " << c.title << "\n";
            continue;
        }
        const std::string before = shell(filesAndLinks, dir.path()).out;  // "" but where the row has a setup
        ProgramResult result = runProgram(program, c.arguments, dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(c.out, result.out));
        EXPECT_TRUE(sameBytes("", result.err));
        if (!c.file.empty()) {
            EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/" + c.golden), readFile(dir.file(c.file))));
        }
        EXPECT_EQ(shell(filesAndLinks, dir.path()).out, before.empty() && !c.file.empty() ? c.file + "\n" : before);
    }
}

TEST(TrivoltaCli, WarningStillWritesTheTable)
{
    ScratchDir dir;
    ProgramResult result = runProgram(program, {"-P40", "-S13"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, warning);
    const std::string table = readFile(dir.file("trivolta.c"));
    EXPECT_EQ(table.compare(0, 34, "code const uchar PhaseTable [40] ="), 0);

    if (testingWindowsPrograms())
        return;  // no /dev/stdout
    // Names of open descriptors are written through them, where they stand:
    // the messages, then the table, as through a pipe; ">>" appends.
    const struct {
        std::string script;
        const char* name;
        std::string file;  // what out.c holds afterwards
    } descriptors[] = {
        {"exec \"$@\" >out.c", "-OC/dev/stdout", warning + table},
        {std::string("echo kept >out.c; ") + inOtherPidNamespace + " \"$@\" >>out.c", "-OC/dev/stdout",
         "kept\n" + warning + table},
        {"echo kept >out.c; exec \"$@\" >>out.c", "-OC/dev/stdout", "kept\n" + warning + table},
        {"echo kept >out.c; exec \"$@\" 3>>out.c", "-OC/dev/fd/3", "kept\n" + table},
        {"echo kept >out.c; ln -s /proc/self/fd/1 link.c; exec \"$@\" >>out.c", "-OClink.c",
         "kept\n" + warning + table},
    };
    for (const auto& d : descriptors) {
        SCOPED_TRACE(d.script);
        ScratchDir here;
        ProgramResult console = runInShell(d.script, program, {"-P40", "-S13", d.name}, here.path());
        if (skippedWithoutPidNamespace(console))
            continue;
        EXPECT_EQ(console.status, 0);
        EXPECT_TRUE(sameBytes(d.file, readFile(here.file("out.c"))));
    }
}

TEST(TrivoltaCli, LostConsoleOutputIsAFailure)
{
    ScratchDir dir;
    // Usage text on a full disk: nothing reached the user.
    EXPECT_EQ(runInShell("exec \"$@\" >/dev/full", program, {}, dir.path()).status, 8);
}

}  // namespace
