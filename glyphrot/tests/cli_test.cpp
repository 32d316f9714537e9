// Runs the built glyphrot and compares exit status, console and file bytes.
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
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
// do, and nothing otherwise; --version, --help and -h alone print their text,
// and work.
TEST(GlyphrotCli, FailuresLeaveTheFilesAlone)
{
    const std::string nothing = "nothing to do!";
    const std::string help = readFile(GLYPHROT_GOLDEN "/help.txt");
    const struct {
        const char* title;
        std::vector<std::string> arguments;
        std::string message;    // "" for none: the run works
        std::string text = "";  // what a run that works prints
    } cases[] = {
        {"no arguments", {}, nothing},
        {"names only", {"font.bin"}, nothing},
        {"unknown option", {"-x", "font.bin"}, nothing},
        {"help", {"--help"}, "", help},
        {"short help", {"-h"}, "", help},
        {"help and a name", {"--help", "font.bin"}, nothing},
        {"version", {"--version"}, "", "glyphrot " FIRMWARE_TOOLS_VERSION "\n"},
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
        const bool works = c.message.empty();
        EXPECT_EQ(result.status, works ? 0 : 1);
        EXPECT_TRUE(sameBytes(works ? c.text : c.message == nothing ? usage : "", result.out));
        EXPECT_TRUE(sameBytes(works ? "" : "\n" + c.message + "\n", result.err));
        EXPECT_TRUE(sameBytes(font, readFile(dir.file("font.bin"))));
        EXPECT_EQ(shell("ls -A", dir.path()).out, "font.bin\n");
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

// The letter F (golden/letter_f.bin) in each orientation, as its name says.
const std::pair<const char*, const char*> letterF[] = {
    {"as-stored", "\x7e\x40\x40\x7c\x40\x40\x40\x00"},     {"counter-clockwise", "\x00\x80\x90\x90\x90\x90\xfe\x00"},
    {"half-turn", "\x00\x02\x02\x02\x3e\x02\x02\x7e"},     {"clockwise", "\x00\x7f\x09\x09\x09\x09\x01\x00"},
    {"top-bottom", "\x00\x40\x40\x40\x7c\x40\x40\x7e"},    {"left-right", "\x7e\x02\x02\x3e\x02\x02\x02\x00"},
    {"main-diagonal", "\x00\xfe\x90\x90\x90\x90\x80\x00"}, {"other-diagonal", "\x00\x01\x09\x09\x09\x09\x7f\x00"}};

// orientations.table and orientation-pairs.table against glyphrot and the
// letter F: every pair of orientations has a line, whose runs are the fewest
// that take F from the one to the other, the first of as few in the order
// none, -r, -m, -r -m, then two runs in that order; each orientation's runs
// are its pair's from as-stored.
TEST(GlyphrotCli, EveryOrientationByItsRecipe)
{
    std::map<std::string, std::string> table;  // each line: all but its last field, its last field
    for (const char* name : {"orientations.table", "orientation-pairs.table"}) {
        std::ifstream file(std::filesystem::path(GLYPHROT_ORIENTATIONS).replace_filename(name));
        ASSERT_TRUE(file.is_open()) << name;
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line[0] != '#')
                table[line.substr(0, line.rfind('|'))] = line.substr(line.rfind('|') + 1);
        }
    }
    const std::size_t lines = table.size();
    std::string glyphs;  // F in every orientation, one after another
    for (const auto& [name, glyph] : letterF)
        glyphs.append(glyph, 8);
    std::vector<std::string> candidates{"", "-r", "-m", "-r -m"}, made;  // made: by each from every orientation
    for (std::size_t k = 0; k < 9; ++k)
        candidates.push_back(candidates[k / 3 + 1] + "+" + candidates[k % 3 + 1]);
    ScratchDir dir;
    for (const std::string& runs : candidates) {
        writeFile(dir.file("font.bin"), glyphs);
        std::istringstream runList(runs);
        for (std::string run; std::getline(runList, run, '+');) {
            std::istringstream words(run + " font.bin");
            EXPECT_EQ(runProgram(program, {std::istream_iterator<std::string>(words), {}}, dir.path()).status, 0);
        }
        made.push_back(readFile(dir.file("font.bin")));
    }
    for (std::size_t from = 0; from < std::size(letterF); ++from) {
        const std::string name = letterF[from].first;
        EXPECT_EQ(table[name], table["as-stored|" + name]) << name;
        for (std::size_t to = 0; to < std::size(letterF); ++to) {
            std::size_t k = 0;
            while (k < made.size() && made[k].compare(8 * from, 8, glyphs, 8 * to, 8) != 0)
                ++k;
            const std::string pair = name + "|" + letterF[to].first;
            ASSERT_LT(k, made.size()) << pair;
            EXPECT_EQ(table[pair], candidates[k]) << "the line should be " << pair << "|" << candidates[k];
        }
    }
    EXPECT_EQ(table.size(), lines) << "lines are missing";
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

// Names as typed (longer than MAX_PATH (260), outside the ANSI code page,
// links), in place and into a new file, leave nothing in the folder but the
// files named. Where absolute paths begin with '/', such arguments are names.
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
        const char* output;      // nullptr for in place
        const char* left;        // the files, and links with where they lead, then in the folder
        const char* setup = "";  // a shell line that makes links first
    } cases[] = {
        {"absolute, in place", true, longFolder, "font.bin", nullptr, "font.bin\n"},
        {"relative, in place", false, longFolder, "font.bin", nullptr, "font.bin\n"},
        {"relative, into a second file", false, longFolder, "font.bin", "out.bin", "font.bin\nout.bin\n"},
        {"a Greek letter, in place", false, "", "font\u03b1.bin", nullptr, "font\u03b1.bin\n"},
        {"a division slash", false, "", "font.bin", "x\u2215y.bin", "font.bin\nx\u2215y.bin\n"},
        {"link, in place", false, "", "l.bin", nullptr, "d/f\nl.bin -> d/f\n", "mkdir d; ln -s d/f l.bin"},
        {"link, second file", false, "", "font.bin", "l.bin", "font.bin\nl.bin -> o\no\n", "echo >o; ln -s o l.bin"},
    };
    const std::string input = randomBytes(24, 6);
    const std::string filesAndLinks = "find . -type l -printf '%P -> %l\\n' -o -type f -printf '%P\\n' | sort";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        if (c.absolute && testingWindowsPrograms())
            continue;  // on Windows every argument that begins with '/' is an option
        ScratchDir dir;
        ASSERT_EQ(shell("mkdir -p ./" + c.folder, dir.path()).status, 0);
        if (shell(c.setup, dir.path()).status != 0) {
            std::cout << "skipped, TMPDIR's file system has no symbolic links (set TMPDIR): " << c.title << "\n";
            continue;
        }
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
        EXPECT_EQ(shell(filesAndLinks, dir.file(c.folder)).out, c.left);
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
