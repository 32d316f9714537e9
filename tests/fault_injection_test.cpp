// Faults from outside the programs: full disks, file size limits, folders
// and missing folders, inputs that vanish, huge and hostile command lines.
// Each case checks the message, the status, that the input is unchanged and
// that nothing is written after the failure.
#include "run_program.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const std::string trivolta = programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM);
const std::string glyphrot = programPath("GLYPHROT_PROGRAM", GLYPHROT_PROGRAM);

std::string randomBytes(std::size_t length)
{
    std::mt19937 random(static_cast<unsigned>(length));
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// Runs `program` under a file size limit of `kib` KiB, with SIGXFSZ ignored so
// that the write fails with EFBIG instead of killing the process.
ProgramResult runLimited(const std::string& program, const std::vector<std::string>& arguments, const std::string& dir,
                         int kib)
{
    // /bin/sh counts the limit in 512-byte blocks.
    return runInShell("trap '' XFSZ; ulimit -f " + std::to_string(kib * 2) + "; exec \"$@\"", program, arguments, dir);
}

std::string glyphrotMessage(const char* message)
{
    return std::string("\n") + message + "\n";
}

// Full disks, folders and missing folders are among the end-to-end cases of
// each program; these are the faults that only a hostile environment makes.
TEST(FaultInjection, TrivoltaNameTooLong)
{
    ScratchDir dir;
    const std::string tooLong(100000, 'n');
    ProgramResult result = runProgram(trivolta, {"-OC" + tooLong}, dir.path());
    EXPECT_EQ(result.status, 8);
    EXPECT_TRUE(sameBytes("Error - can not open output file " + tooLong + " (File name too long)", result.out));
}

TEST(FaultInjection, TrivoltaStopsAtTheFileSizeLimit)
{
    ScratchDir dir;
    ProgramResult result = runLimited(trivolta, {"-P65532", "-S1", "-OCbig.c"}, dir.path(), 64);
    EXPECT_EQ(result.status, 8);
    EXPECT_TRUE(sameBytes("Error - can not write output file big.c (File too large)", result.out));
    EXPECT_LE(readFile(dir.file("big.c")).size(), 64u * 1024);
}

TEST(FaultInjection, GlyphrotFailuresLeaveTheInputAlone)
{
    const std::string font = randomBytes(1 << 20);
    const std::string tooLong(100000, 'n');
    const struct {
        const char* title;
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {"input removed before the run", {"-r", "dangling.bin", "out.bin"}, "Error open input file"},
        {"100,000-character input name", {"-r", tooLong}, "Error open input file"},
        {"100,000-character output name", {"-r", "font.bin", tooLong}, "Error open output file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(runCommand("/bin/ln", {"-s", "removed.bin", "dangling.bin"}, dir.path()).status, 0);
        ProgramResult result = runProgram(glyphrot, c.arguments, dir.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(sameBytes("", result.out));
        EXPECT_TRUE(sameBytes(glyphrotMessage(c.message), result.err));
        EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
        EXPECT_FALSE(fileExists(dir.file("out.bin")));
    }
}

TEST(FaultInjection, GlyphrotStopsAtTheFileSizeLimit)
{
    ScratchDir dir;
    const std::string font = randomBytes(1 << 20);
    writeFile(dir.file("font.bin"), font);
    ProgramResult result = runLimited(glyphrot, {"-r", "font.bin", "out.bin"}, dir.path(), 64);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(sameBytes(glyphrotMessage("error write output file"), result.err));
    EXPECT_LE(readFile(dir.file("out.bin")).size(), 64u * 1024);
    EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
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

    const std::string font = randomBytes(40);
    writeFile(dir.file(name), font);
    ProgramResult glyphs = runProgram(glyphrot, {"-m", name, "-\x80" + hostile}, dir.path());
    EXPECT_EQ(glyphs.status, 0);
    EXPECT_TRUE(sameBytes("", glyphs.out + glyphs.err));
    EXPECT_EQ(readFile(dir.file(name)).size(), font.size());
}

}  // namespace
