#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ArgumentCase {
    std::vector<std::string> arguments;
    SlashRule slashRule;
    Failure failure;
    bool rotate, mirror;
    std::string inputFileName, outputFileName;
};

const SlashRule posix = SlashRule::TwoCharactersOnly, windows = SlashRule::Always;

const ArgumentCase argumentCases[] = {
    {{}, posix, Failure::NothingToDo, false, false, "", ""},
    {{"font.bin"}, posix, Failure::NothingToDo, false, false, "font.bin", "font.bin"},
    {{"-x", "font.bin"}, posix, Failure::NothingToDo, false, false, "font.bin", "font.bin"},
    {{"-", "font.bin"}, posix, Failure::NothingToDo, false, false, "font.bin", "font.bin"},
    {{"-r", "font.bin"}, posix, Failure::None, true, false, "font.bin", "font.bin"},
    {{"-mr", "font.bin"}, posix, Failure::None, false, true, "font.bin", "font.bin"},
    {{"-Rotate", "-Mirror", "f"}, posix, Failure::None, true, true, "f", "f"},
    {{"/R", "/m", "font.bin"}, posix, Failure::None, true, true, "font.bin", "font.bin"},
    {{"font.bin", "-r"}, posix, Failure::None, true, false, "font.bin", "font.bin"},
    {{"-r", "in.bin", "out.bin"}, posix, Failure::None, true, false, "in.bin", "out.bin"},
    {{"-r", "a.bin", "b.bin", "c.bin"}, posix, Failure::FileNames, true, false, "a.bin", "b.bin"},
    {{"a.bin", "b.bin", "c.bin"}, posix, Failure::FileNames, false, false, "a.bin", "b.bin"},
    {{"a.bin", "b.bin", "c.bin", "-r"}, posix, Failure::FileNames, false, false, "a.bin", "b.bin"},
    {{"-m"}, posix, Failure::None, false, true, "", ""},
    {{"-m", "a.bin", "", "b.bin"}, posix, Failure::None, false, true, "a.bin", "b.bin"},
    {{"-m", "", "b.bin"}, posix, Failure::None, false, true, "b.bin", "b.bin"},
    {{"-r", "/home/me/font.bin"}, posix, Failure::None, true, false, "/home/me/font.bin", "/home/me/font.bin"},
    {{"/rm", "font.bin"}, posix, Failure::NothingToDo, false, false, "/rm", "font.bin"},
    {{"/x", "font.bin"}, posix, Failure::NothingToDo, false, false, "font.bin", "font.bin"},
    {{"/rm", "font.bin"}, windows, Failure::None, true, false, "font.bin", "font.bin"},
    {{"-r", "/home/me/font.bin"}, windows, Failure::None, true, false, "", ""},
    {{"-r", std::string(400, 'n')}, posix, Failure::None, true, false, std::string(400, 'n'), std::string(400, 'n')},
};

TEST(ReadCommandLine, TableOfArgumentLists)
{
    for (const ArgumentCase& c : argumentCases) {
        std::vector<std::string> arguments{"glyphrot"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(::testing::PrintToString(c.arguments) + (c.slashRule == windows ? " (windows)" : ""));
        ConverterSettings settings;
        EXPECT_EQ(readCommandLine(arguments, settings, c.slashRule), c.failure);
        EXPECT_EQ(settings.rotate, c.rotate);
        EXPECT_EQ(settings.mirror, c.mirror);
        EXPECT_EQ(settings.inputFileName, c.inputFileName);
        EXPECT_EQ(settings.outputFileName, c.outputFileName);
    }
}

}  // namespace
