// The commands that give the page's converted font outside it: glyphrot's
// runs, and the firmware_tools_font calls of a CMake build.
#pragma once

#include <cstddef>
#include <string>

// A conversion as the page made it.
struct FontConversion {
    std::string fileName;  // the font file as the page read it
    std::string source;    // how: "raw", "header", "psf" or "sheet"
    std::string from;      // the orientation the glyphs are stored as
    std::string to;
    std::string runs;  // glyphrot's runs from `from` to `to`, "+" between runs
    std::string arrayName;
    std::size_t firstGlyph = 0;  // the glyphs converted: `bytes` bytes from this glyph
    std::size_t bytes = 0;
    std::size_t fontBytes = 0;  // the bytes of all the font's glyphs
};

// The files the commands read and write.
struct FontFileNames {
    std::string input;  // the raw font: the file itself, or the glyphs of any other saved beside it as .bin
    std::string part;   // the glyphs converted, cut out of the input; "" when they are the whole font
    std::string raw;    // the converted bytes
    std::string c;      // the C array
    std::string sheet;  // the glyphs converted as a picture
};
FontFileNames fontFileNames(const FontConversion& conversion);

// One command a line, with comments: how to get the input when it is not
// the file itself, the cut of the glyphs converted, each run of glyphrot
// (the first into the output, the others in place) or a copy when there is
// none; then the calls of firmware_tools_font that give the same bytes.
std::string fontCommands(const FontConversion& conversion);
