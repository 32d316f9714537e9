// Runs the built trivolta and compares exit status, console and file bytes.
#include "run_program.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

const std::string program = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);

std::string golden(const char* name)
{
    return readFile(std::string(TRIVOLTA_GOLDEN) + "/" + name);
}

const char usage[] = "3-phase table generator utility from KORVINEX (www.korvinex.example). Usage:\n"
                     "\ttrivolta.exe -Ai -Bj -Ck -Pn -Sm -O<C|A><output_file_name> -Ul \n"
                     "Options are:\n"
                     "\t\n\t\n\t\n\t\n";

struct CliCase {
    const char* title;
    std::vector<std::string> arguments;
    int status;
    std::string out;
    const char* file;    // file expected in the working directory, or nullptr for none
    std::string golden;  // its golden content
};

TEST(TrivoltaCli, Runs)
{
    const std::string folderMessage = std::string("Error - can not open output file . (") +
                                      (testingWindowsPrograms() ? "Permission denied)" : "Is a directory)");
    const CliCase cases[] = {
        {"no arguments", {}, 0, usage, nullptr, ""},
        {"help", {"--help"}, 0, usage, nullptr, ""},
        {"short help", {"-h"}, 0, usage, nullptr, ""},
        {"version", {"--version"}, 0, "trivolta " FIRMWARE_TOOLS_VERSION "\n", nullptr, ""},
        {"help among other arguments", {"-h", "-OCt.c"}, 0, "", "t.c", "default.c"},
        {"name outside the ANSI code page", {"-OC\u03c0.c"}, 0, "", "\u03c0.c", "default.c"},
        {"defaults", {"x"}, 0, "", "trivolta.c", "default.c"},
        {"assembler", {"-OAtable.asm"}, 0, "", "table.asm", "default.asm"},
        {"assembler keeps the default name", {"-OA"}, 0, "", "trivolta.c", "default.asm"},
        {"empty table", {"-P0", "-S0", "-OCempty.c"}, 0, "", "empty.c", "empty.c"},
        {"sinus", {"-mS", "-OCsinus.c"}, 0, "", "sinus.c", "default.c"},
        {"pins", {"-A1"}, 1, "Error in pin numbers", nullptr, ""},
        {"split period", {"-P", "48"}, 4, "Error - shift is too big (period < shift * 3)", nullptr, ""},
        {"odd period",
         {"-P41"},
         6,
         "Warning - period / 6 give not WHOLE number"
         "Error - period is not EVEN number"
         "Error - shift is too big (period < shift * 3)",
         nullptr,
         ""},
        {"missing folder",
         {"-OCno/such/dir.c"},
         8,
         "Error - can not open output file no/such/dir.c (No such file or directory)",
         nullptr,
         ""},
        {"folder", {"-OC."}, 8, folderMessage, nullptr, ""},
        {"full disk",
         {"-OC" + fullDevice()},
         8,
         "Error - can not write output file " + fullDevice() + " (No space left on device)",
         nullptr,
         ""},
    };
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        ProgramResult result = runProgram(program, c.arguments, dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(c.out, result.out));
        EXPECT_TRUE(sameBytes("", result.err));
        if (c.file != nullptr) {
            EXPECT_TRUE(sameBytes(golden(c.golden.c_str()), readFile(dir.file(c.file))));
        }
        EXPECT_EQ(runCommand("/bin/ls", {"-A"}, dir.path()).out, c.file != nullptr ? std::string(c.file) + "\n" : "");
    }
}

TEST(TrivoltaCli, WarningStillWritesTheTable)
{
    ScratchDir dir;
    ProgramResult result = runProgram(program, {"-P40", "-S13"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Warning - period / 6 give not WHOLE number");
    const std::string table = readFile(dir.file("trivolta.c"));
    EXPECT_EQ(table.compare(0, 34, "code const uchar PhaseTable [40] ="), 0);

    if (testingWindowsPrograms())
        return;  // no /dev/stdout
    // Names of open descriptors are written through them, where they stand:
    // the messages, then the table, as through a pipe; ">>" appends.
    const std::string warning = "Warning - period / 6 give not WHOLE number";
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
        if (console.status == cannotRun) {
            std::cout << "skipped, no PID namespace can be made here: " << d.script << "\n";
            continue;
        }
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
    std::string longFolder;
    for (char letter = 'a'; letter < 'e'; ++letter)
        longFolder += std::string(100, letter) + "/";  // with the name, over 400 characters
    const struct {
        const char* title;
        std::string folder;
        std::vector<std::string> arguments;
    } cases[] = {
        {"default name", "", {"x"}},
        {"long name", longFolder, {"-OC" + longFolder + "trivolta.c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        if (!c.folder.empty()) {
            ASSERT_EQ(runCommand("/bin/mkdir", {"-p", c.folder}, dir.path()).status, 0);
        }
        writeFile(dir.file(c.folder + "trivolta.c"), std::string(1000, 'x'));
        ProgramResult result = runProgram(program, c.arguments, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(sameBytes("", result.out + result.err));
        EXPECT_TRUE(sameBytes(golden("default.c"), readFile(dir.file(c.folder + "trivolta.c"))));
        EXPECT_EQ(runCommand("/bin/ls", {"-A"}, dir.file(c.folder)).out, "trivolta.c\n");
    }
}

TEST(TrivoltaCli, LostConsoleOutputIsAFailure)
{
    ScratchDir dir;
    // Usage text on a full disk: nothing reached the user.
    EXPECT_EQ(runInShell("exec \"$@\" >/dev/full", program, {}, dir.path()).status, 8);
}

}  // namespace
