// Runs the built trivolta and compares exit status, console and file bytes.
#include "run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string program = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);
const std::string warning = "Warning - period / 6 give not WHOLE number";
const std::string tooBig = "Error - shift is too big (period < shift * 3)";
const char usage[] = "3-phase table generator utility from KORVINEX (www.korvinex.example). Usage:\n"
                     "\ttrivolta.exe -Ai -Bj -Ck -Pn -Sm -O<C|A><output_file_name> -Ul \n"
                     "Options are:\n\t\n\t\n\t\n\t\n";

TEST(TrivoltaCli, Runs)
{
    const std::string cannotOpen = "Error - can not open output file ";
    const std::string full = "Error - can not write output file " + fullDevice() + " (No space left on device)";
    const char* const folder = testingWindowsPrograms() ? ". (Permission denied)" : ". (Is a directory)";
    const struct {
        const char* title;
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string file = "";    // the file expected in the working directory, or "" for none
        std::string golden = "";  // its golden content
    } cases[] = {
        {"no arguments", {}, 0, usage},
        {"help", {"--help"}, 0, usage},
        {"short help", {"-h"}, 0, usage},
        {"version", {"--version"}, 0, "trivolta " FIRMWARE_TOOLS_VERSION "\n"},
        {"help among other arguments", {"-h", "-OCt.c"}, 0, "", "t.c", "default.c"},
        {"name outside the ANSI code page", {"-OC\u03c0.c"}, 0, "", "\u03c0.c", "default.c"},
        {"defaults", {"x"}, 0, "", "trivolta.c", "default.c"},
        {"assembler", {"-OAtable.asm"}, 0, "", "table.asm", "default.asm"},
        {"assembler keeps the default name", {"-OA"}, 0, "", "trivolta.c", "default.asm"},
        {"empty table", {"-P0", "-S0", "-OCempty.c"}, 0, "", "empty.c", "empty.c"},
        {"sinus", {"-mS", "-OCsinus.c"}, 0, "", "sinus.c", "default.c"},
        {"pins", {"-A1"}, 1, "Error in pin numbers"},
        {"split period", {"-P", "48"}, 4, tooBig},
        {"odd period", {"-P41"}, 6, warning + "Error - period is not EVEN number" + tooBig},
        {"missing folder", {"-OCno/such/dir.c"}, 8, cannotOpen + "no/such/dir.c (No such file or directory)"},
        {"folder", {"-OC."}, 8, cannotOpen + folder},
        {"full disk", {"-OC" + fullDevice()}, 8, full},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        ProgramResult result = runProgram(program, c.arguments, dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(c.out, result.out));
        EXPECT_TRUE(sameBytes("", result.err));
        if (!c.file.empty()) {
            EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/" + c.golden), readFile(dir.file(c.file))));
        }
        EXPECT_EQ(shell("ls -A", dir.path()).out, c.file.empty() ? "" : c.file + "\n");
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

TEST(TrivoltaCli, FailedValidationLeavesAnExistingFileUntouched)
{
    ScratchDir dir;
    writeFile(dir.file("keep.c"), "precious");
    EXPECT_EQ(runProgram(program, {"-OCkeep.c", "-A2"}, dir.path()).status, 1);
    EXPECT_EQ(readFile(dir.file("keep.c")), "precious");
}

// Under a short name and under one longer than MAX_PATH (260); nothing is
// left in the folder but the table.
TEST(TrivoltaCli, ReplacesAnExistingFile)
{
    std::string longFolder;  // with the name, over 400 characters
    for (char letter = 'a'; letter < 'e'; ++letter)
        longFolder += std::string(100, letter) + "/";
    for (const std::string& folder : {std::string(), longFolder}) {
        SCOPED_TRACE(folder.empty() ? "default name" : "long name");
        ScratchDir dir;
        ASSERT_EQ(shell("mkdir -p ./" + folder, dir.path()).status, 0);
        writeFile(dir.file(folder + "trivolta.c"), std::string(1000, 'x'));
        ProgramResult result = runProgram(program, {folder.empty() ? "x" : "-OC" + folder + "trivolta.c"}, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(sameBytes("", result.out + result.err));
        EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/default.c"), readFile(dir.file(folder + "trivolta.c"))));
        EXPECT_EQ(shell("ls -A", dir.file(folder)).out, "trivolta.c\n");
    }
}

TEST(TrivoltaCli, LostConsoleOutputIsAFailure)
{
    ScratchDir dir;
    // Usage text on a full disk: nothing reached the user.
    EXPECT_EQ(runInShell("exec \"$@\" >/dev/full", program, {}, dir.path()).status, 8);
}

}  // namespace
