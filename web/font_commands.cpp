#include "font_commands.h"

#include "orientations.h"

#include <vector>

namespace {

// A word the shell takes as it is, quoted when it needs to be; a name that
// glyphrot would take for an option gets "./" before it.
std::string shellWord(std::string word)
{
    if (!word.empty() && word[0] == '-')
        word = "./" + word;
    if (!word.empty() &&
        word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._+-/,=@%") ==
            std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// An argument CMake takes as one, quoted when it needs to be.
std::string cmakeWord(const std::string& word)
{
    if (!word.empty() && word.find_first_of(" \t\n\"\\$;#()@") == std::string::npos)
        return word;
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\' || c == '$' || c == ';')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

FontFileNames fontFileNames(const std::string& inputName, bool fromHeader, const std::string& to)
{
    const std::size_t dot = inputName.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? inputName : inputName.substr(0, dot);
    return {fromHeader ? stem + ".bin" : inputName, stem + "-" + to + ".bin", stem + "-" + to + ".c"};
}

std::string fontCommands(const std::string& inputName, bool fromHeader, const std::string& from, const std::string& to,
                         const std::string& runs, const std::string& arrayName)
{
    const FontFileNames names = fontFileNames(inputName, fromHeader, to);
    std::string text;
    if (fromHeader)
        text += "# " + names.input + ": the bytes of " + inputName + ", by the header-in recipe of doc/fonts.md\n";
    const std::vector<std::string> list = splitRuns(runs);
    text += "# glyphrot: stored " + from + ", to " + to + ", " +
            (list.empty() ? std::string("no run: a copy")
                          : std::to_string(list.size()) + (list.size() == 1 ? " run" : " runs")) +
            "\n";
    if (list.empty())
        text += "cp " + shellWord(names.input) + " " + shellWord(names.raw) + "\n";
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += "glyphrot " + list[i] + " ";
        if (i == 0)
            text += shellWord(names.input) + " ";
        text += shellWord(names.raw) + "\n";
    }
    const std::string call = cmakeWord(names.input) + " FROM " + from + " TO " + to;
    text +=
        "\n# in a firmware's CMakeLists.txt (doc/firmware.md), the same bytes, then as the C array " + arrayName + "\n";
    text += "firmware_tools_font(" + cmakeWord(names.raw) + " " + call + ")\n";
    text += "firmware_tools_font(" + cmakeWord(names.c) + " " + call + " C_ARRAY " + arrayName + ")\n";
    return text;
}
