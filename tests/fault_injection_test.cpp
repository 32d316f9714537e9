// Faults from outside the programs: full disks, file size limits, folders
// and missing folders, inputs that vanish, huge and hostile command lines.
// Each case checks the message, the status, that the input is unchanged and
// that nothing is written after the failure.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
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

// A file size limit reached part-way, with SIGXFSZ ignored (the write fails:
// the run reports it and cleans up) and not (the process is killed). Either
// way the file that was to be replaced keeps its old bytes, and a run that
// could clean up leaves nothing beside it.
struct LimitCase {
    const char* title;
    bool ignoreSignal;
    std::vector<std::string> arguments;
    const char* target;  // the existing file the run was to replace
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
        const std::string wanted = std::string(c.target) == "font.bin" ? font : old;
        ProgramResult result = runLimited(program, c.arguments, dir.path(), 64, c.ignoreSignal);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(sameBytes(c.ignoreSignal ? out : "", result.out));
        EXPECT_TRUE(sameBytes(c.err, result.err));
        EXPECT_TRUE(readFile(dir.file(c.target)) == wanted);
        EXPECT_TRUE(readFile(dir.file("font.bin")) == font);
        if (c.ignoreSignal) {
            EXPECT_EQ(filesIn(dir.path()), sorted({"font.bin", c.target}));
        }
    }
}

TEST(FaultInjection, TrivoltaStopsAtTheFileSizeLimit)
{
    const std::vector<std::string> arguments{"-P65532", "-S1", "-OCbig.c"};
    checkSizeLimitCases(trivolta,
                        {
                            {"SIGXFSZ ignored", true, arguments, "big.c", 8, ""},
                            {"killed by SIGXFSZ", false, arguments, "big.c", 128 + SIGXFSZ, ""},
                        },
                        "Error - can not write output file big.c (File too large)");
}

TEST(FaultInjection, GlyphrotStopsAtTheFileSizeLimit)
{
    const std::string message = glyphrotMessage("error write output file");
    checkSizeLimitCases(
        glyphrot,
        {
            {"in place, SIGXFSZ ignored", true, {"-r", "font.bin"}, "font.bin", 1, message},
            {"in place, killed", false, {"-r", "font.bin"}, "font.bin", 128 + SIGXFSZ, ""},
            {"second file, SIGXFSZ ignored", true, {"-r", "font.bin", "out.bin"}, "out.bin", 1, message},
            {"second file, killed", false, {"-r", "font.bin", "out.bin"}, "out.bin", 128 + SIGXFSZ, ""},
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
        const char* script;
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {"input removed before the run", plain, {"-r", "dangling.bin", "out.bin"}, "Error open input file"},
        {"100,000-character input name", plain, {"-r", tooLong}, "Error open input file"},
        {"100,000-character output name", plain, {"-r", "font.bin", tooLong}, "Error open output file"},
        {"in place on a FIFO", bounded, {"-r", "fifo"}, "Error open output file"},
        {"in place on a pipe", "cat font.bin | timeout 10 \"$@\"", {"-r", "/dev/stdin"}, "Error open output file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ASSERT_EQ(runCommand("/bin/sh", {"-c", "ln -s removed.bin dangling.bin && mkfifo fifo"}, dir.path()).status, 0);
        ProgramResult result = runInShell(c.script, glyphrot, c.arguments, dir.path());
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

// Killed at a random moment while converting in place: the file is the old
// one or the new one, whole; what may stay beside it is a temporary file.
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
        for (const std::string& name : filesIn(dir.path()))
            EXPECT_TRUE(name == "font.bin" || name.compare(0, 10, ".font.bin.") == 0) << name;
    }
}

// A file-status call that fails (EIO) at any one point of the run: the
// run fails or works, and the file is the old one or the new one, whole.
TEST(FaultInjection, GlyphrotFileStatusFailsOnce)
{
    if (runCommand("/bin/sh", {"-c", "command -v strace"}, ".").status != 0)
        GTEST_SKIP() << "strace is not installed";
    const std::string font = randomBytes(1 << 16);
    const std::string rotated = plainConvert(font, true, false);
    for (int call = 1; call <= 16; ++call) {
        SCOPED_TRACE("failing call " + std::to_string(call));
        ScratchDir dir;
        writeFile(dir.file("a.bin"), font);
        ProgramResult result =
            runInShell("exec strace -f -o /dev/null -e trace=%stat,%fstat -e inject=%stat,%fstat:error=EIO:when=" +
                           std::to_string(call) + " \"$@\"",
                       glyphrot, {"-r", "a.bin"}, dir.path());
        // Other statuses come from the loader or a sanitizer runtime, which
        // make such calls of their own; the file must be whole all the same.
        const std::string now = readFile(dir.file("a.bin"));
        EXPECT_TRUE(now == font || now == rotated);
        if (result.status == 0 || result.status == 1) {
            EXPECT_TRUE(now == (result.status == 0 ? rotated : font));
            EXPECT_EQ(filesIn(dir.path()), sorted({"a.bin"}));
        }
    }
}

// What replacing a file keeps: a symbolic link stays a link to the file
// that gets the new content; mode bits, owner and group stay; several hard
// links all see the new content; a new file gets 0666 less the umask.
TEST(FaultInjection, ReplacedFilesKeepLinksModeAndOwner)
{
    const bool root = geteuid() == 0;
    const struct {
        const char* title;
        const char* setup;   // shell line run in the folder first
        const char* target;  // the regular file that must end up with the new content
        unsigned mode;
        bool foreignOwner;  // owned by 4321:4321
        int links;
    } cases[] = {
        {"new file", "umask 027", "out", 0640, false, 1},
        {"mode kept", "echo old >out; chmod 604 out", "out", 0604, false, 1},
        {"owner and group kept", "echo old >out; chmod 640 out; chown 4321:4321 out", "out", 0640, true, 1},
        {"symbolic link", "mkdir d; echo old >d/real; chmod 600 d/real; ln -s d/real out", "d/real", 0600, false, 1},
        {"hard links", "echo old >out; ln out other", "other", 0644, false, 2},
    };
    const std::string font = randomBytes(64);
    const struct {
        const std::string& program;
        std::vector<std::string> arguments;
        std::string content;
    } programs[] = {
        {trivolta, {"-OCout"}, readFile(std::string(TRIVOLTA_GOLDEN) + "/default.c")},
        {glyphrot, {"-r", "font.bin", "out"}, plainConvert(font, true, false)},
    };
    for (const auto& p : programs) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.title) + ", " + p.program);
            if (c.foreignOwner && !root)
                continue;
            ScratchDir dir;
            writeFile(dir.file("font.bin"), font);
            ProgramResult result = runInShell(std::string("umask 022; ") + c.setup + " && exec \"$@\"", p.program,
                                              p.arguments, dir.path());
            EXPECT_EQ(result.status, 0);
            struct stat link {};
            struct stat target {};
            ASSERT_EQ(lstat(dir.file("out").c_str(), &link), 0);
            ASSERT_EQ(stat(dir.file(c.target).c_str(), &target), 0);
            EXPECT_EQ(S_ISLNK(link.st_mode), std::string(c.target) == "d/real");
            EXPECT_TRUE(sameBytes(p.content, readFile(dir.file(c.target))));
            EXPECT_TRUE(sameBytes(p.content, readFile(dir.file("out"))));
            EXPECT_EQ(target.st_mode & 07777, c.mode);
            EXPECT_EQ(target.st_uid, c.foreignOwner ? 4321u : geteuid());
            EXPECT_EQ(target.st_gid, c.foreignOwner ? 4321u : getegid());
            EXPECT_EQ(static_cast<int>(target.st_nlink), c.links);
        }
    }
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
