#include "phase_table.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string pins = "Error in pin numbers", warning = "Warning - period / 6 give not WHOLE number";
const std::string odd = "Error - period is not EVEN number", tooBig = "Error - shift is too big (period < shift * 3)";

GeneratorSettings settings(int pinA, int pinB, int pinC, int period, int shift, int otherBitsHigh = 1)
{
    GeneratorSettings s;
    s.pinA = static_cast<std::uint8_t>(pinA);
    s.pinB = static_cast<std::uint8_t>(pinB);
    s.pinC = static_cast<std::uint8_t>(pinC);
    s.period = static_cast<std::uint16_t>(period);
    s.shift = static_cast<std::uint16_t>(shift);
    s.otherBitsHigh = static_cast<std::uint8_t>(otherBitsHigh);
    return s;
}

TEST(ValidateSettings, MessagesAndFlagsInOrder)
{
    const struct {
        int pinA, pinB, pinC, period, shift;
        std::string messages;
        unsigned errorFlags;
    } cases[] = {
        {0, 1, 2, 42, 14, "", 0},
        {0, 1, 2, 40, 13, warning, 0},
        {0, 1, 2, 41, 14, warning + odd + tooBig, ErrorPeriodOdd | ErrorShiftTooBig},
        {1, 1, 2, 42, 14, pins, ErrorPins},
        {3, 3, 3, 42, 14, pins, ErrorPins},
        {0, 1, 0, 42, 14, pins, ErrorPins},
        {0, 2, 2, 42, 14, pins, ErrorPins},
        {0, 1, 2, 40, 14, warning + tooBig, ErrorShiftTooBig},
        {0, 1, 2, 65534, 21846, warning + tooBig, ErrorShiftTooBig},
        {0, 1, 2, 65532, 21844, "", 0},
        {0, 1, 2, 0, 0, "", 0},
        {0, 1, 2, 0, 14, tooBig, ErrorShiftTooBig},
        {5, 5, 5, 7, 3, pins + warning + odd + tooBig, 7},
        {9, 10, 200, 42, 14, "", 0},  // pins are not range-checked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "pins " << c.pinA << " " << c.pinB << " " << c.pinC << " period "
                                          << c.period << " shift " << c.shift);
        std::string messages;
        const auto collect = [&messages](const char* message) { messages += message; };
        EXPECT_EQ(validateSettings(settings(c.pinA, c.pinB, c.pinC, c.period, c.shift), collect), c.errorFlags);
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
    const struct {
        GeneratorSettings settings;
        std::vector<std::uint8_t> table;
    } cases[] = {
        {settings(0, 1, 2, 42, 14), runs({{0xFB, 7}, {0xF9, 7}, {0xFD, 7}, {0xFC, 7}, {0xFE, 7}, {0xFA, 7}})},
        {settings(0, 1, 2, 42, 14, 0), runs({{0x03, 7}, {0x01, 7}, {0x05, 7}, {0x04, 7}, {0x06, 7}, {0x02, 7}})},
        {settings(0, 1, 9, 42, 14), runs({{0xFF, 7}, {0xFD, 14}, {0xFC, 7}, {0xFE, 14}})},
        {settings(0, 1, 2, 6, 0), runs({{0xFF, 3}, {0xF8, 3}})},
        {settings(0, 1, 2, 0, 0), {}},
        // 32 and up must not shift by the type's width
        {settings(32, 255, 7, 42, 14), runs({{0x7F, 14}, {0xFF, 21}, {0x7F, 7}})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(computePhaseTable(c.settings), c.table) << "row " << &c - cases;
    GeneratorSettings sinus;
    sinus.waveform = "sinus";
    EXPECT_EQ(computePhaseTable(sinus), computePhaseTable(GeneratorSettings{}));
}

// Phase B must be phase A shifted by `shift`, phase C by 2 * shift, A high
// in the first half of the entries (so each is high in exactly half), for
// every setting that passes validation.
void expectSquareWaves(int period, int shift)
{
    SCOPED_TRACE(::testing::Message() << "period " << period << " shift " << shift);
    const std::vector<std::uint8_t> table = computePhaseTable(settings(7, 4, 0, period, shift));
    ASSERT_EQ(table.size(), static_cast<std::size_t>(period));
    const auto bit = [&table](std::size_t i, int pin) { return (table[i] >> pin) & 1; };
    const std::size_t n = table.size();
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(bit(i, 7), i < n / 2 ? 1 : 0) << "entry " << i;
        ASSERT_EQ(bit(i, 4), bit((i + static_cast<std::size_t>(shift)) % n, 7)) << "entry " << i;
        ASSERT_EQ(bit(i, 0), bit((i + 2 * static_cast<std::size_t>(shift)) % n, 7)) << "entry " << i;
        ASSERT_EQ(table[i] & 0x6E, 0x6E) << "entry " << i;  // the other bits stay high
    }
}

TEST(ComputePhaseTable, ExactSquareWavesUpToTheLargestPeriod)
{
    // Period and shift; from 65534 21844 on, period + 2 * shift is above
    // 65536, where a 16-bit counter would wrap.
    std::istringstream cases("42 14  40 13  48 16  2 0  6 1  8 2  65532 21844  "
                             "65534 21844  60000 20000  50000 16666  65534 1");
    for (int period = 0, shift = 0; cases >> period >> shift;)
        expectSquareWaves(period, shift);
}

}  // namespace
