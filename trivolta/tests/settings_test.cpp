#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every field of the settings, in their order; texts in brackets.
std::string described(const GeneratorSettings& s)
{
    return std::to_string(s.pinA) + " " + std::to_string(s.pinB) + " " + std::to_string(s.pinC) + " P" +
           std::to_string(s.period) + " S" + std::to_string(s.shift) + " [" + s.outputFormat + "] [" +
           s.outputFileName + "] U" + std::to_string(s.otherBitsHigh) + " [" + s.waveform + "]";
}

const char* const defaults = "0 1 2 P42 S14 [C] [trivolta.c] U1 []";

TEST(GeneratorSettings, Defaults)
{
    EXPECT_EQ(described(GeneratorSettings{}), defaults);
}

TEST(ParseCommandLine, TableOfArgumentLists)
{
    const struct {
        std::vector<std::string> arguments;
        const char* settings;
    } cases[] = {
        {{}, defaults},
        {{"-P48", "-S16", "-A3"}, "3 1 2 P48 S16 [C] [trivolta.c] U1 []"},
        {{"-P70000"}, "0 1 2 P4464 S14 [C] [trivolta.c] U1 []"},
        {{"-P-2"}, "0 1 2 P65534 S14 [C] [trivolta.c] U1 []"},
        {{"-P99999999999"}, "0 1 2 P65535 S14 [C] [trivolta.c] U1 []"},
        {{"-P-99999999999"}, "0 1 2 P0 S14 [C] [trivolta.c] U1 []"},
        {{"-A-1"}, "255 1 2 P42 S14 [C] [trivolta.c] U1 []"},
        {{"-A300"}, "44 1 2 P42 S14 [C] [trivolta.c] U1 []"},
        {{"-A3x"}, "3 1 2 P42 S14 [C] [trivolta.c] U1 []"},
        {{"-a5", "-b6", "-c7"}, "5 6 7 P42 S14 [C] [trivolta.c] U1 []"},
        {{"-A3", "-A4"}, "4 1 2 P42 S14 [C] [trivolta.c] U1 []"},
        {{"-P 48"}, "0 1 2 P48 S14 [C] [trivolta.c] U1 []"},
        {{"-P+48"}, "0 1 2 P48 S14 [C] [trivolta.c] U1 []"},
        {{"-P", "48"}, "0 1 2 P0 S14 [C] [trivolta.c] U1 []"},
        {{"-P+-5"}, "0 1 2 P0 S14 [C] [trivolta.c] U1 []"},
        {{"-S\t\n 7"}, "0 1 2 P42 S7 [C] [trivolta.c] U1 []"},
        {{"-OAout.asm"}, "0 1 2 P42 S14 [A] [out.asm] U1 []"},
        {{"-OCfirst.c", "-OA"}, "0 1 2 P42 S14 [A] [first.c] U1 []"},
        {{"-OA"}, "0 1 2 P42 S14 [A] [trivolta.c] U1 []"},
        {{"-OCfirst.c", "-OC   "}, "0 1 2 P42 S14 [C] [first.c] U1 []"},
        {{"-ocOut.C"}, "0 1 2 P42 S14 [C] [Out.C] U1 []"},
        {{"-OA  my table.asm \t"}, "0 1 2 P42 S14 [A] [my table.asm] U1 []"},
        {{"-O"}, defaults},
        {{"-U"}, "0 1 2 P42 S14 [C] [trivolta.c] U0 []"},
        {{"-U256"}, defaults},
        {{"-U5"}, defaults},
        {{"-U0", "-U1"}, "0 1 2 P42 S14 [C] [trivolta.c] U0 []"},
        {{"-mSanything"}, "0 1 2 P42 S14 [C] [trivolta.c] U1 [sinus]"},
        {{"-ms"}, "0 1 2 P42 S14 [C] [trivolta.c] U1 [sinus]"},
        {{"-MS"}, "0 1 2 P42 S14 [C] [trivolta.c] U1 [sinus]"},
        {{"-m"}, defaults},
        // The last one is "-", the byte 0xe1, then "5".
        {{"x", "", "--", "A5", "-Z9", std::string("-\xe1") + "5"}, defaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        std::vector<std::string> arguments{"trivolta"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        GeneratorSettings s;
        parseCommandLine(arguments, s);
        EXPECT_EQ(described(s), c.settings);
    }
}

TEST(ReadNumber, BehavesAsStrtolOnA32BitLong)
{
    const struct {
        std::int32_t number;
        std::vector<const char*> texts;
    } cases[] = {
        {0, {"", "abc", "-", "+0"}},
        {42, {"42"}},
        {-17, {"  -17xyz"}},
        {7, {"007"}},
        {1, {"1 2"}},
        {INT32_MAX, {"2147483647", "2147483648", "99999999999999999999999"}},
        {INT32_MIN, {"-2147483648", "-2147483649"}},
    };
    for (const auto& c : cases)
        for (const char* text : c.texts)
            EXPECT_EQ(readNumber(text), c.number) << "text [" << text << "]";
}

TEST(ParseCommandLine, VisitsEveryArgumentOfAVeryLongList)
{
    // More than an unsigned 16-bit index can count: the last one must count.
    std::vector<std::string> arguments(70001, "x");
    arguments.front() = "trivolta";
    arguments.back() = "-P48";
    GeneratorSettings s;
    parseCommandLine(arguments, s);
    EXPECT_EQ(s.period, 48);
}

}  // namespace
