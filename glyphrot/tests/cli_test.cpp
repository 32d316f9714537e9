// Runs the built glyphrot and compares exit status, console and file bytes.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string program = programPath("GLYPHROT_PROGRAM", GLYPHROT_PROGRAM);

const char usage[] = "\nConverting 8x8 symbols generator file. Usage:"
                     "\n   glyphrot.exe <-m|-r> <infile> [<outfile>]"
                     "\n-m    mirroring symbols\n-r    90-degree rotate symbols\n";

// Every failure: one message, status 1, and font.bin (present in the folder)
// untouched. Standard output holds the usage text when there was nothing to
// do, and nothing otherwise; --version alone prints the version, and works.
TEST(GlyphrotCli, FailuresLeaveTheFilesAlone)
{
    const std::string nothing = "nothing to do!";
    const struct {
        const char* title;
        std::vector<std::string> arguments;
        std::string message;  // "" for none
    } cases[] = {
        {"no arguments", {}, nothing},
        {"names only", {"font.bin"}, nothing},
        {"unknown option", {"-x", "font.bin"}, nothing},
        {"asking for help", {"--help"}, nothing},
        {"version", {"--version"}, ""},
        {"version and a name", {"--version", "font.bin"}, nothing},
        {"three names", {"-r", "a.bin", "b.bin", "font.bin"}, "error in input/output file names"},
        {"three names, no option", {"a.bin", "b.bin", "font.bin"}, "error in input/output file names"},
        {"no name", {"-m"}, "Error open input file"},
        {"missing input", {"-r", "missing.bin", "font.bin"}, "Error open input file"},
        {"folder as input", {"-r", ".", "font.bin"}, "Error open input file"},
        {"folder as output", {"-r", "font.bin", "."}, "Error open output file"},
        {"missing folder", {"-r", "font.bin", "no/such/out.bin"}, "Error open output file"},
        {"full disk", {"-r", "font.bin", fullDevice()}, "error write output file"},
    };
    const std::string font = randomBytes(800, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), font);
        ProgramResult result = runProgram(program, c.arguments, dir.path());
        const bool version = c.message.empty();
        EXPECT_EQ(result.status, version ? 0 : 1);
        const std::string out = version ? "glyphrot " FIRMWARE_TOOLS_VERSION "\n" : c.message == nothing ? usage : "";
        EXPECT_TRUE(sameBytes(out, result.out));
        EXPECT_TRUE(sameBytes(version ? "" : "\n" + c.message + "\n", result.err));
        EXPECT_TRUE(sameBytes(font, readFile(dir.file("font.bin"))));
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.bin")));
    }
}

// In place, and into a second file that is replaced, not overlaid.
TEST(GlyphrotCli, ConvertsInPlaceAndIntoASecondFile)
{
    const struct {
        const char* title;
        std::vector<std::string> options;
        std::size_t length;
        bool rotate, mirror;
    } cases[] = {
        {"rotate", {"-r"}, 800, true, false},
        {"mirror", {"-m"}, 800, false, true},
        {"both, slash options", {"/R", "/m"}, 800, true, true},
        {"both, reversed order", {"-m", "-r"}, 803, true, true},
        {"second character counts", {"-mr"}, 16, false, true},
        {"empty input", {"-r"}, 0, true, false},
        {"eleven bytes", {"-r"}, 11, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string input = randomBytes(c.length, static_cast<unsigned>(c.length));
        const std::string expected = plainConvert(input, c.rotate, c.mirror);
        ScratchDir dir;
        writeFile(dir.file("font.bin"), input);
        writeFile(dir.file("in.bin"), input);
        writeFile(dir.file("out.bin"), std::string(5000, 'x'));
        std::vector<std::string> arguments = c.options;
        arguments.emplace_back("font.bin");
        ProgramResult inPlace = runProgram(program, arguments, dir.path());
        EXPECT_EQ(inPlace.status, 0);
        EXPECT_TRUE(sameBytes("", inPlace.out + inPlace.err));
        EXPECT_TRUE(sameBytes(expected, readFile(dir.file("font.bin"))));
        arguments.back() = "in.bin";
        arguments.emplace_back("out.bin");
        EXPECT_EQ(runProgram(program, arguments, dir.path()).status, 0);
        EXPECT_TRUE(sameBytes(input, readFile(dir.file("in.bin"))));
        EXPECT_TRUE(sameBytes(expected, readFile(dir.file("out.bin"))));
    }
}

// Every orientation of orientations.table made by its runs, against its
// matrix: the pixel at (x, y) from the glyph's middle lands at
// (a x + b y, c x + d y). Coordinates are doubled (-7, -5 ... 7), to stay whole.
TEST(GlyphrotCli, EveryOrientationByItsRecipe)
{
    std::ifstream table(GLYPHROT_ORIENTATIONS);
    ASSERT_TRUE(table.is_open()) << GLYPHROT_ORIENTATIONS;
    const std::string input = randomBytes(64, 12);
    const auto pixel = [](const std::string& font, std::size_t glyph, int x, int y) {
        const auto row = static_cast<unsigned char>(font[glyph * 8 + static_cast<std::size_t>((y + 7) / 2)]);
        return (row >> (7 - (x + 7) / 2)) & 1;
    };
    int orientations = 0;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string name, matrix, runs;
        std::getline(std::getline(std::getline(fields, name, '|'), matrix, '|'), runs);
        int a = 0, b = 0, c = 0, d = 0;
        if (line.empty() || line[0] == '#' || !(std::istringstream(matrix) >> a >> b >> c >> d))
            continue;  // a comment, or another name: alias|orientation
        SCOPED_TRACE(line);
        ++orientations;
        ScratchDir dir;
        writeFile(dir.file("font.bin"), input);
        std::istringstream runList(runs);
        for (std::string run; std::getline(runList, run, '+');) {
            std::istringstream words(run);
            std::vector<std::string> arguments{std::istream_iterator<std::string>(words), {}};
            arguments.emplace_back("font.bin");
            ASSERT_EQ(runProgram(program, arguments, dir.path()).status, 0);
        }
        const std::string output = readFile(dir.file("font.bin"));
        ASSERT_EQ(output.size(), input.size());
        int wrong = 0;
        for (std::size_t glyph = 0; glyph < input.size() / 8; ++glyph)
            for (int y = -7; y <= 7; y += 2)
                for (int x = -7; x <= 7; x += 2)
                    wrong += pixel(output, glyph, a * x + b * y, c * x + d * y) != pixel(input, glyph, x, y);
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_EQ(orientations, 8);
}

TEST(GlyphrotCli, OptionAfterNamesAndAnEmptyArgument)
{
    ScratchDir dir;
    const std::string input = randomBytes(64, 5);
    writeFile(dir.file("a.bin"), input);
    EXPECT_EQ(runProgram(program, {"a.bin", "", "b.bin", "-m"}, dir.path()).status, 0);
    EXPECT_TRUE(sameBytes(plainConvert(input, false, true), readFile(dir.file("b.bin"))));
    EXPECT_TRUE(sameBytes(input, readFile(dir.file("a.bin"))));
}

TEST(GlyphrotCli, SlashArgumentsFollowThePlatformRule)
{
    // "/rm" is the option -r on Windows, and a file name elsewhere.
    ScratchDir dir;
    const std::string input = randomBytes(16, 9);
    writeFile(dir.file("font.bin"), input);
    ProgramResult result = runProgram(program, {"/rm", "font.bin", "/m"}, dir.path());
    const bool windows = testingWindowsPrograms();
    EXPECT_EQ(result.status, windows ? 0 : 1);
    EXPECT_TRUE(sameBytes(windows ? plainConvert(input, true, true) : input, readFile(dir.file("font.bin"))));
    if (!windows) {
        EXPECT_TRUE(sameBytes("\nError open input file\n", result.err));
    }
}

// Names as typed: longer than MAX_PATH (260), outside the ANSI code page,
// in place and into a new file, leave nothing in the folder but the files
// named. Where absolute paths begin with '/', such an argument is a name too.
TEST(GlyphrotCli, NamesAsTyped)
{
    std::string longFolder;  // with font.bin, over 400 characters
    for (char letter = 'a'; letter < 'e'; ++letter)
        longFolder += std::string(100, letter) + "/";
    const struct {
        const char* title;
        bool absolute;
        std::string folder;
        const char* input;
        const char* output;  // nullptr for in place
        const char* left;    // what `ls -A` then shows in the folder
    } cases[] = {
        {"absolute, in place", true, longFolder, "font.bin", nullptr, "font.bin\n"},
        {"relative, in place", false, longFolder, "font.bin", nullptr, "font.bin\n"},
        {"relative, into a second file", false, longFolder, "font.bin", "out.bin", "font.bin\nout.bin\n"},
        {"a Greek letter, in place", false, "", "font\u03b1.bin", nullptr, "font\u03b1.bin\n"},
        {"a division slash", false, "", "font.bin", "x\u2215y.bin", "font.bin\nx\u2215y.bin\n"},
    };
    const std::string input = randomBytes(24, 6);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        if (c.absolute && testingWindowsPrograms())
            continue;  // on Windows every argument that begins with '/' is an option
        ScratchDir dir;
        ASSERT_EQ(shell("mkdir -p ./" + c.folder, dir.path()).status, 0);
        writeFile(dir.file(c.folder + c.input), input);
        const std::string base = c.absolute ? dir.path() + "/" + c.folder : c.folder;
        std::vector<std::string> arguments{"-r", base + c.input};
        if (c.output != nullptr)
            arguments.push_back(base + c.output);
        ProgramResult result = runProgram(program, arguments, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(sameBytes("", result.out + result.err));
        const std::string written = dir.file(c.folder + (c.output != nullptr ? c.output : c.input));
        EXPECT_TRUE(sameBytes(plainConvert(input, true, false), readFile(written)));
        EXPECT_EQ(shell("ls -A", dir.file(c.folder)).out, c.left);
    }
}

TEST(GlyphrotCli, PipesInAndStandardOutputOut)
{
    if (testingWindowsPrograms())
        GTEST_SKIP() << "no /dev/stdin or /dev/stdout on Windows";
    ScratchDir dir;
    const std::string input = randomBytes(100003, 8);  // more than one pipe buffer
    writeFile(dir.file("font.bin"), input);
    const std::string expected = plainConvert(input, true, true);
    const std::vector<std::string> toStandardOutput{"-r", "-m", "font.bin", "/dev/stdout"};

    ProgramResult fromPipe =
        runInShell("cat font.bin | \"$@\"", program, {"-r", "-m", "/dev/stdin", "out.bin"}, dir.path());
    EXPECT_EQ(fromPipe.status, 0);
    EXPECT_TRUE(sameBytes(expected, readFile(dir.file("out.bin"))));

    ProgramResult toStdout = runProgram(program, toStandardOutput, dir.path());
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_TRUE(sameBytes(expected, toStdout.out));
    EXPECT_TRUE(sameBytes(input, readFile(dir.file("font.bin"))));

    // Written where the descriptor stands: ">>" appends, also in a PID
    // namespace whose /proc is not its own.
    for (const std::string start : {"exec", inOtherPidNamespace}) {
        ProgramResult appended = runInShell("printf 'HEADER!!' >app.bin; " + start + " \"$@\" >>app.bin", program,
                                            toStandardOutput, dir.path());
        if (skippedWithoutPidNamespace(appended))
            continue;
        EXPECT_EQ(appended.status, 0);
        EXPECT_TRUE(sameBytes("HEADER!!" + expected, readFile(dir.file("app.bin"))));
    }
}

}  // namespace
