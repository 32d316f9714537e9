#include "phase_table.h"
#include "run_program.h"
#include "table_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string formatted(const char* format, const std::vector<std::uint8_t>& table)
{
    GeneratorSettings settings;
    settings.outputFormat = format;
    return formatTable(settings, table);
}

TEST(FormatTable, GoldenFiles)
{
    const std::vector<std::uint8_t> defaults = computePhaseTable(GeneratorSettings{});
    EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/default.c"), formatted("C", defaults)));
    EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/default.asm"), formatted("A", defaults)));
    EXPECT_TRUE(sameBytes(readFile(TRIVOLTA_GOLDEN "/empty.c"), formatted("C", {})));
    EXPECT_TRUE(sameBytes("", formatted("A", {})));
    EXPECT_TRUE(sameBytes("", formatted("c", defaults)));  // only the exact texts select a writer
}

TEST(FormatTable, ValueConversionsAndLineBreaks)
{
    const std::vector<std::uint8_t> eight = {0x00, 0x05, 0x10, 0xFB, 0xFF, 0x0A, 0x80, 0x01};
    EXPECT_TRUE(
        sameBytes("code const uchar PhaseTable [8] =\r\n  {\r\n   /* 0 */00,0x05,0x10,0xfb,0xff,0x0a,0x80,0x01\r\n  };",
                  formatted("C", eight)));
    EXPECT_TRUE(sameBytes("\r\n\tDB\t00h,05h,10h,fbh,ffh,0ah,80h,01h", formatted("A", eight)));

    const std::vector<std::uint8_t> nine(9, 0xAB);
    EXPECT_TRUE(sameBytes("\r\n\tDB\tabh,abh,abh,abh,abh,abh,abh,abh\r\n\tDB\tabh", formatted("A", nine)));

    const std::string big = formatted("C", std::vector<std::uint8_t>(264, 1));
    EXPECT_NE(big.find("\r\n   /* 0xf8 */0x01,"), std::string::npos);
    EXPECT_NE(big.find("\r\n   /* 0x100 */0x01,"), std::string::npos);
    EXPECT_EQ(big.compare(0, 35, "code const uchar PhaseTable [264] ="), 0);
}

}  // namespace
