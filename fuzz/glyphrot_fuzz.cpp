// The command-line rules and the cell walk, with the properties that must
// hold for any arguments and any file content.
#include "fuzz_check.h"
#include "glyph_cell.h"
#include "plain_transforms.h"
#include "settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string transformed(std::string bytes, bool rotate, bool mirror)
{
    auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
    transformGlyphs(data, bytes.size(), rotate, mirror);
    return bytes;
}

void checkCommandLine(const std::string& text, SlashRule slashRule)
{
    std::vector<std::string> arguments{"glyphrot"};
    std::string current;
    for (char c : text) {
        if (c == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    arguments.push_back(current);

    ConverterSettings settings;
    const Failure failure = readCommandLine(arguments, settings, slashRule);
    FUZZ_CHECK(failure == Failure::None || failure == Failure::NothingToDo || failure == Failure::FileNames);
    if (failure == Failure::FileNames)
        return;
    // Every option argument was seen: the flags are exactly what they say.
    bool rotate = false;
    bool mirror = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool option =
            !argument.empty() &&
            (argument[0] == '-' || (argument[0] == '/' && (slashRule == SlashRule::Always || argument.size() == 2)));
        if (option && argument.size() > 1) {
            rotate = rotate || argument[1] == 'r' || argument[1] == 'R';
            mirror = mirror || argument[1] == 'm' || argument[1] == 'M';
        }
    }
    FUZZ_CHECK(settings.rotate == rotate && settings.mirror == mirror);
    FUZZ_CHECK((failure == Failure::None) == (rotate || mirror));
    FUZZ_CHECK(!settings.outputFileName.empty() || settings.inputFileName.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0: the flags and the slash rule; byte 1: how many of the following
    // bytes are the command line; the rest is the file.
    const bool rotate = (data[0] & 1) != 0;
    const bool mirror = (data[0] & 2) != 0;
    const SlashRule slashRule = (data[0] & 4) != 0 ? SlashRule::Always : SlashRule::TwoCharactersOnly;
    const std::size_t commandLineLength = std::min<std::size_t>(data[1], size - 2);
    checkCommandLine(std::string(reinterpret_cast<const char*>(data + 2), commandLineLength), slashRule);

    const std::string file(reinterpret_cast<const char*>(data + 2 + commandLineLength), size - 2 - commandLineLength);
    const std::string expected = plainConvert(file, rotate, mirror);
    const std::string inPlace = transformed(file, rotate, mirror);
    FUZZ_CHECK(inPlace.size() == file.size());
    FUZZ_CHECK(inPlace == expected);

    // Whole cells come back: four rotations, two mirrors, two of both.
    const std::string whole = file.substr(0, file.size() / 8 * 8);
    FUZZ_CHECK(transformed(transformed(transformed(transformed(whole, true, false), true, false), true, false), true,
                           false) == whole);
    FUZZ_CHECK(transformed(transformed(whole, false, true), false, true) == whole);
    FUZZ_CHECK(transformed(transformed(whole, true, true), true, true) == whole);
    return 0;
}
