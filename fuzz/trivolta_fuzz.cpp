// Command line -> settings -> checks -> table -> both text formats, with the
// properties that must hold for any command line.
#include "fuzz_check.h"
#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Reads the values of a C table back; -1 entries mark a text that does not parse.
std::vector<int> parseCTable(const std::string& text, std::size_t& declaredSize)
{
    const std::string head = "code const uchar PhaseTable [";
    FUZZ_CHECK(text.compare(0, head.size(), head) == 0);
    std::size_t at = head.size();
    declaredSize = std::strtoul(text.c_str() + at, nullptr, 10);
    at = text.find("] =\r\n  {", at);
    FUZZ_CHECK(at != std::string::npos);
    at += 8;
    std::vector<int> values;
    while (text.compare(at, 6, "\r\n  };") != 0) {
        if (values.size() % 8 == 0) {
            const std::string comment = "\r\n   /* ";
            FUZZ_CHECK(text.compare(at, comment.size(), comment) == 0);
            const unsigned long index = std::strtoul(text.c_str() + at + comment.size(), nullptr, 16);
            FUZZ_CHECK(index == values.size());
            at = text.find(" */", at) + 3;
        }
        char* end = nullptr;
        values.push_back(static_cast<int>(std::strtol(text.c_str() + at, &end, 16)));
        at = static_cast<std::size_t>(end - text.c_str());
        if (text[at] == ',')
            ++at;
    }
    FUZZ_CHECK(at + 6 == text.size());
    return values;
}

std::vector<int> parseAsmTable(const std::string& text)
{
    std::vector<int> values;
    std::size_t at = 0;
    while (at < text.size()) {
        if (values.size() % 8 == 0) {
            FUZZ_CHECK(text.compare(at, 6, "\r\n\tDB\t") == 0);
            at += 6;
        }
        FUZZ_CHECK(at + 3 <= text.size() && text[at + 2] == 'h');
        values.push_back(std::stoi(text.substr(at, 2), nullptr, 16));
        at += 3;
        if (at < text.size() && text[at] == ',')
            ++at;
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Arguments are the input split at NUL bytes.
    std::vector<std::string> arguments{"trivolta"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    arguments.push_back(current);

    GeneratorSettings settings;
    parseCommandLine(arguments, settings);
    FUZZ_CHECK(settings.outputFormat == "C" || settings.outputFormat == "A");
    FUZZ_CHECK(!settings.outputFileName.empty());
    FUZZ_CHECK(settings.otherBitsHigh == 0 || settings.otherBitsHigh == 1);
    FUZZ_CHECK(settings.waveform.empty() || settings.waveform == "sinus");

    std::string messages;
    const unsigned errorFlags = validateSettings(settings, [&messages](const char* message) { messages += message; });
    const auto printed = [&messages](const char* message) { return messages.find(message) != std::string::npos; };
    unsigned printedFlags = 0;
    printedFlags |= printed("Error in pin numbers") ? ErrorPins : 0;
    printedFlags |= printed("Error - period is not EVEN number") ? ErrorPeriodOdd : 0;
    printedFlags |= printed("Error - shift is too big (period < shift * 3)") ? ErrorShiftTooBig : 0;
    FUZZ_CHECK(errorFlags == printedFlags);
    FUZZ_CHECK(printed("Warning - period / 6 give not WHOLE number") == (settings.period % 6 != 0));
    if (errorFlags != 0)
        return 0;

    const std::vector<std::uint8_t> table = computePhaseTable(settings);
    FUZZ_CHECK(table.size() == settings.period);
    for (std::uint8_t pin : {settings.pinA, settings.pinB, settings.pinC}) {
        if (pin >= 8)
            continue;
        std::size_t high = 0;
        for (std::uint8_t entry : table)
            high += (entry >> pin) & 1u;
        FUZZ_CHECK(high == table.size() / 2);
    }

    const std::vector<int> expected(table.begin(), table.end());
    std::string cText;
    writeCTable(cText, table);
    std::size_t declaredSize = 0;
    FUZZ_CHECK(parseCTable(cText, declaredSize) == expected);
    FUZZ_CHECK(declaredSize == table.size());
    std::string asmText;
    writeAsmTable(asmText, table);
    FUZZ_CHECK(parseAsmTable(asmText) == expected);
    return 0;
}
