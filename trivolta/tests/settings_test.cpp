#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

GeneratorSettings parsed(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "trivolta");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    GeneratorSettings settings;
    parseCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
    return settings;
}

struct ParseCase {
    std::vector<std::string> arguments;
    int pinA, pinB, pinC, period, shift;
    const char* outputFormat;
    const char* outputFileName;
    int otherBitsHigh;
    const char* waveform;
};

// Defaults: pins 0 1 2, period 42, shift 14, "C", "trivolta.c", high, "".
const ParseCase parseCases[] = {
    {{}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-P48", "-S16", "-A3"}, 3, 1, 2, 48, 16, "C", "trivolta.c", 1, ""},
    {{"-P70000"}, 0, 1, 2, 4464, 14, "C", "trivolta.c", 1, ""},
    {{"-P-2"}, 0, 1, 2, 65534, 14, "C", "trivolta.c", 1, ""},
    {{"-P99999999999"}, 0, 1, 2, 65535, 14, "C", "trivolta.c", 1, ""},
    {{"-P-99999999999"}, 0, 1, 2, 0, 14, "C", "trivolta.c", 1, ""},
    {{"-A-1"}, 255, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-A300"}, 44, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-A3x"}, 3, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-a5", "-b6", "-c7"}, 5, 6, 7, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-A3", "-A4"}, 4, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-P 48"}, 0, 1, 2, 48, 14, "C", "trivolta.c", 1, ""},
    {{"-P+48"}, 0, 1, 2, 48, 14, "C", "trivolta.c", 1, ""},
    {{"-P", "48"}, 0, 1, 2, 0, 14, "C", "trivolta.c", 1, ""},
    {{"-P+-5"}, 0, 1, 2, 0, 14, "C", "trivolta.c", 1, ""},
    {{"-S\t\n 7"}, 0, 1, 2, 42, 7, "C", "trivolta.c", 1, ""},
    {{"-OAout.asm"}, 0, 1, 2, 42, 14, "A", "out.asm", 1, ""},
    {{"-OCfirst.c", "-OA"}, 0, 1, 2, 42, 14, "A", "first.c", 1, ""},
    {{"-OA"}, 0, 1, 2, 42, 14, "A", "trivolta.c", 1, ""},
    {{"-OCfirst.c", "-OC   "}, 0, 1, 2, 42, 14, "C", "first.c", 1, ""},
    {{"-ocOut.C"}, 0, 1, 2, 42, 14, "C", "Out.C", 1, ""},
    {{"-OA  my table.asm \t"}, 0, 1, 2, 42, 14, "A", "my table.asm", 1, ""},
    {{"-O"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-U"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 0, ""},
    {{"-U256"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-U5"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"-U0", "-U1"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 0, ""},
    {{"-mSanything"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, "sinus"},
    {{"-ms"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, "sinus"},
    {{"-MS"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, "sinus"},
    {{"-m"}, 0, 1, 2, 42, 14, "C", "trivolta.c", 1, ""},
    {{"x", "", "--", "A5", "-Z9",
      "-\xe1"
      "5"},
     0,
     1,
     2,
     42,
     14,
     "C",
     "trivolta.c",
     1,
     ""},
};

TEST(ParseCommandLine, TableOfArgumentLists)
{
    for (const ParseCase& c : parseCases) {
        std::string label;
        for (const std::string& argument : c.arguments)
            label += "[" + argument + "] ";
        SCOPED_TRACE(label);
        GeneratorSettings s = parsed(c.arguments);
        EXPECT_EQ(s.pinA, c.pinA);
        EXPECT_EQ(s.pinB, c.pinB);
        EXPECT_EQ(s.pinC, c.pinC);
        EXPECT_EQ(s.period, c.period);
        EXPECT_EQ(s.shift, c.shift);
        EXPECT_EQ(s.outputFormat, c.outputFormat);
        EXPECT_EQ(s.outputFileName, c.outputFileName);
        EXPECT_EQ(s.otherBitsHigh, c.otherBitsHigh);
        EXPECT_EQ(s.waveform, c.waveform);
    }
}

TEST(ReadNumber, BehavesAsStrtolOnA32BitLong)
{
    const struct {
        const char* text;
        std::int32_t number;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"42", 42},
        {"  -17xyz", -17},
        {"+0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999", 2147483647},
        {"1 2", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readNumber(c.text), c.number) << "text [" << c.text << "]";
}

TEST(ParseCommandLine, VisitsEveryArgumentOfAVeryLongList)
{
    // More than an unsigned 16-bit index can count: the last one must count.
    std::vector<std::string> arguments(70000, "x");
    arguments.back() = "-P48";
    EXPECT_EQ(parsed(arguments).period, 48);
}

}  // namespace
