#include "font_commands.h"

#include "orientations.h"
#include "shell_words.h"

#include <vector>

namespace {

// A word the shell takes as it is; a name that glyphrot would take for an
// option gets "./" before it.
std::string shellWord(std::string word)
{
    if (!word.empty() && word[0] == '-')
        word = "./" + word;
    return shellQuoted(word);
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

// The index of the last glyph converted, partial or not.
std::size_t lastGlyph(const FontConversion& conversion)
{
    return conversion.firstGlyph + (conversion.bytes + 7) / 8 - 1;
}

}  // namespace

FontFileNames fontFileNames(const FontConversion& conversion)
{
    const std::string& name = conversion.fileName;
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string part;
    if (conversion.bytes != conversion.fontBytes) {
        const std::size_t last = lastGlyph(conversion);
        part = stem + "-" + std::to_string(conversion.firstGlyph) +
               (last == conversion.firstGlyph ? "" : "-" + std::to_string(last)) + ".bin";
    }
    return {conversion.source == "raw" ? name : stem + ".bin", part, stem + "-" + conversion.to + ".bin",
            stem + "-" + conversion.to + ".c", stem + ".png"};
}

std::string fontCommands(const FontConversion& conversion)
{
    const FontFileNames names = fontFileNames(conversion);
    const std::string& source = conversion.source;
    const std::string& name = conversion.fileName;
    std::string text;
    if (source == "header")
        text += "# " + names.input + ": the bytes of " + name + ", by the header-in recipe of doc/fonts.md\n";
    if (source == "psf")
        text += "# " + names.input + ": the glyphs of " + name + " (or " + name +
                ".gz), by the psf-to-raw recipe of doc/fonts.md\n";
    if (source == "sheet")
        text += "# " + names.input + ": the glyphs of " + name +
                ", as this page's \"Converted font\" gives them with \"convert to\" as \"stored as\" and every glyph\n";

    // The glyphs converted are cut out of the raw font first: glyphrot converts whole files.
    const std::string glyphs = names.part.empty() ? names.input : names.part;
    const std::size_t first = conversion.firstGlyph;
    const std::size_t last = lastGlyph(conversion);
    const std::string range = first == last ? "glyph " + std::to_string(first)
                                            : "glyphs " + std::to_string(first) + " to " + std::to_string(last);
    if (!names.part.empty()) {
        text += "# " + names.part + ": " + range + " of " + names.input + ", " + std::to_string(conversion.bytes) +
                " bytes from byte " + std::to_string(first * 8) + "\n";
        text += "tail -c +" + std::to_string(first * 8 + 1) + " " + shellWord(names.input) + " | head -c " +
                std::to_string(conversion.bytes) + " > " + shellWord(names.part) + "\n";
    }
    const std::vector<std::string> list = splitRuns(conversion.runs);
    text += "# glyphrot: stored " + conversion.from + ", to " + conversion.to + ", " +
            (list.empty() ? std::string("no run: a copy")
                          : std::to_string(list.size()) + (list.size() == 1 ? " run" : " runs")) +
            "\n";
    if (list.empty())
        text += "cp " + shellWord(glyphs) + " " + shellWord(names.raw) + "\n";
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += "glyphrot " + list[i] + " ";
        if (i == 0)
            text += shellWord(glyphs) + " ";
        text += shellWord(names.raw) + "\n";
    }

    const std::string call = cmakeWord(glyphs) + " FROM " + conversion.from + " TO " + conversion.to;
    text += "\n# in a firmware's CMakeLists.txt (doc/firmware.md), the same bytes, then as the C array " +
            conversion.arrayName + "\n";
    if (!names.part.empty())
        text += "# firmware_tools_font converts whole fonts: its input is " + names.part + ", " + range +
                " cut out above" +
                (first == 0 ? std::string()
                            : "; its C array numbers them from 0, the page's from " + std::to_string(first)) +
                "\n";
    text += "firmware_tools_font(" + cmakeWord(names.raw) + " " + call + ")\n";
    text += "firmware_tools_font(" + cmakeWord(names.c) + " " + call + " C_ARRAY " + conversion.arrayName + ")\n";
    return text;
}
