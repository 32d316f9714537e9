#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

GeneratorSettings parsed(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "trivolta");
    GeneratorSettings settings;
    parseCommandLine(arguments, settings);
    return settings;
}

// What each row changes in a default GeneratorSettings; the rest stays.
using Changes = void (*)(GeneratorSettings&);

struct ParseCase {
    std::vector<std::string> arguments;
    Changes changes;
};

void none(GeneratorSettings&) {}

TEST(GeneratorSettings, Defaults)
{
    const GeneratorSettings s;
    EXPECT_EQ(s.pinA, 0);
    EXPECT_EQ(s.pinB, 1);
    EXPECT_EQ(s.pinC, 2);
    EXPECT_EQ(s.period, 42);
    EXPECT_EQ(s.shift, 14);
    EXPECT_EQ(s.outputFormat, "C");
    EXPECT_EQ(s.outputFileName, "trivolta.c");
    EXPECT_EQ(s.otherBitsHigh, 1);
    EXPECT_EQ(s.waveform, "");
}

// Defaults: pins 0 1 2, period 42, shift 14, "C", "trivolta.c", high, "".
const ParseCase parseCases[] = {
    {{}, none},
    {{"-P48", "-S16", "-A3"},
     [](GeneratorSettings& s) {
         s.pinA = 3;
         s.period = 48;
         s.shift = 16;
     }},
    {{"-P70000"}, [](GeneratorSettings& s) { s.period = 4464; }},
    {{"-P-2"}, [](GeneratorSettings& s) { s.period = 65534; }},
    {{"-P99999999999"}, [](GeneratorSettings& s) { s.period = 65535; }},
    {{"-P-99999999999"}, [](GeneratorSettings& s) { s.period = 0; }},
    {{"-A-1"}, [](GeneratorSettings& s) { s.pinA = 255; }},
    {{"-A300"}, [](GeneratorSettings& s) { s.pinA = 44; }},
    {{"-A3x"}, [](GeneratorSettings& s) { s.pinA = 3; }},
    {{"-a5", "-b6", "-c7"},
     [](GeneratorSettings& s) {
         s.pinA = 5;
         s.pinB = 6;
         s.pinC = 7;
     }},
    {{"-A3", "-A4"}, [](GeneratorSettings& s) { s.pinA = 4; }},
    {{"-P 48"}, [](GeneratorSettings& s) { s.period = 48; }},
    {{"-P+48"}, [](GeneratorSettings& s) { s.period = 48; }},
    {{"-P", "48"}, [](GeneratorSettings& s) { s.period = 0; }},
    {{"-P+-5"}, [](GeneratorSettings& s) { s.period = 0; }},
    {{"-S\t\n 7"}, [](GeneratorSettings& s) { s.shift = 7; }},
    {{"-OAout.asm"},
     [](GeneratorSettings& s) {
         s.outputFormat = "A";
         s.outputFileName = "out.asm";
     }},
    {{"-OCfirst.c", "-OA"},
     [](GeneratorSettings& s) {
         s.outputFormat = "A";
         s.outputFileName = "first.c";
     }},
    {{"-OA"}, [](GeneratorSettings& s) { s.outputFormat = "A"; }},
    {{"-OCfirst.c", "-OC   "}, [](GeneratorSettings& s) { s.outputFileName = "first.c"; }},
    {{"-ocOut.C"}, [](GeneratorSettings& s) { s.outputFileName = "Out.C"; }},
    {{"-OA  my table.asm \t"},
     [](GeneratorSettings& s) {
         s.outputFormat = "A";
         s.outputFileName = "my table.asm";
     }},
    {{"-O"}, none},
    {{"-U"}, [](GeneratorSettings& s) { s.otherBitsHigh = 0; }},
    {{"-U256"}, none},
    {{"-U5"}, none},
    {{"-U0", "-U1"}, [](GeneratorSettings& s) { s.otherBitsHigh = 0; }},
    {{"-mSanything"}, [](GeneratorSettings& s) { s.waveform = "sinus"; }},
    {{"-ms"}, [](GeneratorSettings& s) { s.waveform = "sinus"; }},
    {{"-MS"}, [](GeneratorSettings& s) { s.waveform = "sinus"; }},
    {{"-m"}, none},
    // The last one is "-", the byte 0xe1, then "5".
    {{"x", "", "--", "A5", "-Z9", std::string("-\xe1") + "5"}, none},
};

TEST(ParseCommandLine, TableOfArgumentLists)
{
    for (const ParseCase& c : parseCases) {
        std::string label;
        for (const std::string& argument : c.arguments)
            label += "[" + argument + "] ";
        SCOPED_TRACE(label);
        GeneratorSettings expected;
        c.changes(expected);
        const GeneratorSettings s = parsed(c.arguments);
        EXPECT_EQ(s.pinA, expected.pinA);
        EXPECT_EQ(s.pinB, expected.pinB);
        EXPECT_EQ(s.pinC, expected.pinC);
        EXPECT_EQ(s.period, expected.period);
        EXPECT_EQ(s.shift, expected.shift);
        EXPECT_EQ(s.outputFormat, expected.outputFormat);
        EXPECT_EQ(s.outputFileName, expected.outputFileName);
        EXPECT_EQ(s.otherBitsHigh, expected.otherBitsHigh);
        EXPECT_EQ(s.waveform, expected.waveform);
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
