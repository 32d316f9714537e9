#include "glyph_cell.h"
#include "plain_transforms.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Row 0 is the top byte, as the rows are written on paper.
GlyphCell cellOf(std::uint64_t rows)
{
    GlyphCell cell{};
    for (int row = 0; row < 8; ++row)
        cell[row] = static_cast<std::uint8_t>(rows >> (56 - 8 * row));
    return cell;
}

std::string converted(std::string bytes, bool rotate, bool mirror)
{
    transformGlyphs(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), rotate, mirror);
    return bytes;
}

TEST(GlyphCell, WorkedExamples)
{
    const GlyphCell letterF = cellOf(0x7E40407C40404000);
    EXPECT_EQ(rotateCell(letterF), cellOf(0x008090909090FE00));
    EXPECT_EQ(mirrorCell(letterF), cellOf(0x004040407C40407E));
    EXPECT_EQ(mirrorCell(rotateCell(letterF)), cellOf(0x00FE909090908000));

    EXPECT_EQ(rotateCell(cellOf(0x0100000000000000)), cellOf(0x8000000000000000));  // top right -> top left
    EXPECT_EQ(rotateCell(cellOf(0x8000000000000000)), cellOf(0x0000000000000080));  // top left -> bottom left
}

TEST(TransformGlyphs, PartialLastCell)
{
    EXPECT_TRUE(sameBytes(std::string("\xA0\x60\x00", 3), converted("\x01\x02\x03", true, false)));
    EXPECT_TRUE(sameBytes(std::string(3, '\0'), converted("\x01\x02\x03", false, true)));
    EXPECT_TRUE(sameBytes(std::string(3, '\0'), converted("\x01\x02\x03", true, true)));
    // With -m a partial cell of n bytes gets source rows 7 down to 8 - n.
    EXPECT_TRUE(sameBytes(std::string("\0\0\6\5\4\3", 6), converted("\1\2\3\4\5\6", false, true)));
}

TEST(GlyphCell, FastTransformsMatchTheBitRuleOnEverySinglePixel)
{
    for (int bit = 0; bit < 64; ++bit) {
        const GlyphCell cell = cellOf(std::uint64_t{1} << bit);
        SCOPED_TRACE(::testing::Message() << "pixel bit " << bit);
        EXPECT_EQ(rotateCell(cell), plainRotate(cell));
        EXPECT_EQ(mirrorCell(cell), plainMirror(cell));
        EXPECT_EQ(mirrorCell(rotateCell(cell)), plainMirror(plainRotate(cell)));
    }
}

std::string randomInput(std::mt19937_64& random, std::size_t length)
{
    std::string input(length, '\0');
    for (char& byte : input)
        byte = static_cast<char>(random());
    return input;
}

TEST(TransformGlyphs, MatchesThePlainCellWalkOnRandomInput)
{
    std::mt19937_64 random(20261208);
    for (std::size_t length : {0, 1, 3, 7, 8, 9, 11, 16, 64, 4093, 300000}) {
        const std::string input = randomInput(random, length);
        for (int flags = 1; flags < 4; ++flags) {
            const bool rotate = (flags & 1) != 0;
            const bool mirror = (flags & 2) != 0;
            SCOPED_TRACE(::testing::Message() << "length " << length << " rotate " << rotate << " mirror " << mirror);
            ASSERT_EQ(converted(input, rotate, mirror), plainConvert(input, rotate, mirror));
        }
    }
}

TEST(TransformGlyphs, WholeCellsComeBack)
{
    std::mt19937_64 random(7);
    const std::string input = randomInput(random, 8000);
    const struct {
        bool rotate, mirror;
        int runs;
    } roundTrips[] = {{true, false, 4}, {false, true, 2}, {true, true, 2}};
    for (const auto& trip : roundTrips) {
        std::string bytes = input;
        for (int run = 1; run <= trip.runs; ++run) {
            bytes = converted(bytes, trip.rotate, trip.mirror);
            EXPECT_EQ(bytes == input, run == trip.runs) << "rotate " << trip.rotate << " mirror " << trip.mirror;
        }
    }
}

}  // namespace
