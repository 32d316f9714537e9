#include "phase_table.h"
#include "run_program.h"
#include "table_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string golden(const char* name)
{
    return readFile(std::string(TRIVOLTA_GOLDEN) + "/" + name);
}

std::string formatted(const char* format, const std::vector<std::uint8_t>& table)
{
    GeneratorSettings settings;
    settings.outputFormat = format;
    return formatTable(settings, table);
}

TEST(FormatTable, GoldenFiles)
{
    const std::vector<std::uint8_t> defaults = computePhaseTable(GeneratorSettings{});
    EXPECT_TRUE(sameBytes(golden("default.c"), formatted("C", defaults)));
    EXPECT_TRUE(sameBytes(golden("default.asm"), formatted("A", defaults)));
    EXPECT_TRUE(sameBytes(golden("empty.c"), formatted("C", {})));
    EXPECT_TRUE(sameBytes("", formatted("A", {})));
    EXPECT_TRUE(sameBytes("", formatted("c", defaults)));  // only the exact texts select a writer
}

TEST(FormatTable, ValueConversionsAndLineBreaks)
{
    const std::vector<std::uint8_t> eight = {0x00, 0x05, 0x10, 0xFB, 0xFF, 0x0A, 0x80, 0x01};
    EXPECT_TRUE(sameBytes("code const uchar PhaseTable [8] =\r\n  {\r\n   /* 0 */00,0x05,0x10,0xfb,0xff,0x0a,0x80,0x01\r\n  };",
                          formatted("C", eight)));
    EXPECT_TRUE(sameBytes("\r\n\tDB\t00h,05h,10h,fbh,ffh,0ah,80h,01h", formatted("A", eight)));

    const std::vector<std::uint8_t> nine(9, 0xAB);
    EXPECT_TRUE(sameBytes("\r\n\tDB\tabh,abh,abh,abh,abh,abh,abh,abh\r\n\tDB\tabh", formatted("A", nine)));

    const std::string big = formatted("C", std::vector<std::uint8_t>(264, 1));
    EXPECT_NE(big.find("\r\n   /* 0xf8 */0x01,"), std::string::npos);
    EXPECT_NE(big.find("\r\n   /* 0x100 */0x01,"), std::string::npos);
    EXPECT_EQ(big.compare(0, 35, "code const uchar PhaseTable [264] ="), 0);
}

TEST(WriteTableFile, WritesTheFileAndReportsEveryFailure)
{
    ScratchDir dir;
    GeneratorSettings settings;
    const std::vector<std::uint8_t> table = computePhaseTable(settings);
    std::string messages;

    settings.outputFileName = dir.file("table.c");
    writeFile(settings.outputFileName, std::string(1000, 'x'));  // an existing file is truncated
    EXPECT_EQ(writeTableFile(settings, table, messages), 0u);
    EXPECT_EQ(messages, "");
    EXPECT_TRUE(sameBytes(golden("default.c"), readFile(settings.outputFileName)));

    const struct {
        std::string fileName;
        std::string message;
    } failures[] = {
        {dir.file("missing/table.c"),
         "Error - can not open output file " + dir.file("missing/table.c") + " (No such file or directory)"},
        {dir.path(), "Error - can not open output file " + dir.path() + " (Is a directory)"},
        {"/dev/full", "Error - can not write output file /dev/full (No space left on device)"},
    };
    for (const auto& failure : failures) {
        messages.clear();
        settings.outputFileName = failure.fileName;
        EXPECT_EQ(writeTableFile(settings, table, messages), ErrorOutput);
        EXPECT_EQ(messages, failure.message);
    }
}

} // namespace
