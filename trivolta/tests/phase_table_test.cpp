#include "phase_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const pinsMessage = "Error in pin numbers";
const char* const warning = "Warning - period / 6 give not WHOLE number";
const char* const oddMessage = "Error - period is not EVEN number";
const char* const shiftMessage = "Error - shift is too big (period < shift * 3)";

GeneratorSettings withPeriod(int period, int shift)
{
    GeneratorSettings s;
    s.period = static_cast<std::uint16_t>(period);
    s.shift = static_cast<std::uint16_t>(shift);
    return s;
}

TEST(ValidateSettings, MessagesAndFlagsInOrder)
{
    struct Case {
        int pinA, pinB, pinC, period, shift;
        std::string messages;
        unsigned errorFlags;
    };
    const Case cases[] = {
        {0, 1, 2, 42, 14, "", 0},
        {0, 1, 2, 40, 13, warning, 0},
        {0, 1, 2, 41, 14, std::string(warning) + oddMessage + shiftMessage, ErrorPeriodOdd | ErrorShiftTooBig},
        {1, 1, 2, 42, 14, pinsMessage, ErrorPins},
        {3, 3, 3, 42, 14, pinsMessage, ErrorPins},
        {0, 1, 0, 42, 14, pinsMessage, ErrorPins},
        {0, 2, 2, 42, 14, pinsMessage, ErrorPins},
        {0, 1, 2, 40, 14, std::string(warning) + shiftMessage, ErrorShiftTooBig},
        {0, 1, 2, 65534, 21846, std::string(warning) + shiftMessage, ErrorShiftTooBig},
        {0, 1, 2, 65532, 21844, "", 0},
        {0, 1, 2, 0, 0, "", 0},
        {0, 1, 2, 0, 14, shiftMessage, ErrorShiftTooBig},
        {5, 5, 5, 7, 3, std::string(pinsMessage) + warning + oddMessage + shiftMessage, 7},
        {9, 10, 200, 42, 14, "", 0},  // pins are not range-checked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "pins " << c.pinA << " " << c.pinB << " " << c.pinC << " period "
                                          << c.period << " shift " << c.shift);
        GeneratorSettings s = withPeriod(c.period, c.shift);
        s.pinA = static_cast<std::uint8_t>(c.pinA);
        s.pinB = static_cast<std::uint8_t>(c.pinB);
        s.pinC = static_cast<std::uint8_t>(c.pinC);
        std::string messages;
        EXPECT_EQ(validateSettings(s, [&messages](const char* message) { messages += message; }), c.errorFlags);
        EXPECT_EQ(messages, c.messages);
    }
}

// Runs of equal entries, written as {value, count}.
std::vector<std::uint8_t> runs(std::initializer_list<std::pair<int, int>> valueCounts)
{
    std::vector<std::uint8_t> table;
    for (auto [value, count] : valueCounts)
        table.insert(table.end(), static_cast<std::size_t>(count), static_cast<std::uint8_t>(value));
    return table;
}

TEST(ComputePhaseTable, KnownTables)
{
    GeneratorSettings defaults;
    EXPECT_EQ(computePhaseTable(defaults), runs({{0xFB, 7}, {0xF9, 7}, {0xFD, 7}, {0xFC, 7}, {0xFE, 7}, {0xFA, 7}}));

    GeneratorSettings sinus;
    sinus.waveform = "sinus";
    EXPECT_EQ(computePhaseTable(sinus), computePhaseTable(defaults));

    GeneratorSettings low;
    low.otherBitsHigh = 0;
    EXPECT_EQ(computePhaseTable(low), runs({{0x03, 7}, {0x01, 7}, {0x05, 7}, {0x04, 7}, {0x06, 7}, {0x02, 7}}));

    GeneratorSettings noPhaseC;
    noPhaseC.pinC = 9;
    EXPECT_EQ(computePhaseTable(noPhaseC), runs({{0xFF, 7}, {0xFD, 14}, {0xFC, 7}, {0xFE, 14}}));

    EXPECT_EQ(computePhaseTable(withPeriod(6, 0)), runs({{0xFF, 3}, {0xF8, 3}}));
    EXPECT_TRUE(computePhaseTable(withPeriod(0, 0)).empty());

    GeneratorSettings farPins;  // 32 and up must not shift by the type's width
    farPins.pinA = 32;
    farPins.pinB = 255;
    farPins.pinC = 7;
    EXPECT_EQ(computePhaseTable(farPins), runs({{0x7F, 14}, {0xFF, 21}, {0x7F, 7}}));
}

// Phase B must be phase A shifted by `shift`, phase C by 2 * shift, each high
// in exactly half of the entries, for every setting that passes validation.
void expectSquareWaves(int period, int shift)
{
    SCOPED_TRACE(::testing::Message() << "period " << period << " shift " << shift);
    GeneratorSettings s = withPeriod(period, shift);
    s.pinA = 7;
    s.pinB = 4;
    s.pinC = 0;
    const std::vector<std::uint8_t> table = computePhaseTable(s);
    ASSERT_EQ(table.size(), static_cast<std::size_t>(period));
    const auto bit = [&table](std::size_t i, int pin) { return (table[i] >> pin) & 1; };
    std::size_t highA = 0;
    std::size_t highB = 0;
    std::size_t highC = 0;
    const std::size_t n = table.size();
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(bit(i, 7), i < n / 2 ? 1 : 0) << "entry " << i;
        ASSERT_EQ(bit(i, 4), bit((i + static_cast<std::size_t>(shift)) % n, 7)) << "entry " << i;
        ASSERT_EQ(bit(i, 0), bit((i + 2 * static_cast<std::size_t>(shift)) % n, 7)) << "entry " << i;
        ASSERT_EQ(table[i] & 0x6E, 0x6E) << "entry " << i;  // the other bits stay high
        highA += bit(i, 7);
        highB += bit(i, 4);
        highC += bit(i, 0);
    }
    EXPECT_EQ(highA, n / 2);
    EXPECT_EQ(highB, n / 2);
    EXPECT_EQ(highC, n / 2);
}

TEST(ComputePhaseTable, ExactSquareWavesUpToTheLargestPeriod)
{
    const int cases[][2] = {
        {42, 14},
        {40, 13},
        {48, 16},
        {2, 0},
        {6, 1},
        {8, 2},
        {65532, 21844},
        // period + 2 * shift above 65536: a 16-bit counter would wrap here
        {65534, 21844},
        {60000, 20000},
        {50000, 16666},
        {65534, 1},
    };
    for (const auto& c : cases)
        expectSquareWaves(c[0], c[1]);
}

}  // namespace
