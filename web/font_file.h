// A font file as the page takes it: raw glyphs, or a C header's hex literals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FontFile {
    std::vector<std::uint8_t> bytes;  // the glyphs, 8 bytes each
    bool fromHeader = false;
    std::string message;  // what is wrong or unusual about the file, in words; empty when nothing is
};

// Names of C sources and headers (.h, .c and the like), read by their hex literals.
bool isCSourceName(const std::string& name);

// The header-in recipe of doc/fonts.md: comments and preprocessor lines
// dropped, then the digits of every hex literal left, in order (a single
// digit with a 0 before it), taken two at a time as bytes.
std::vector<std::uint8_t> readHeaderBytes(const std::string& text);

// The glyphs of the file `name` whose content is `content`, and what is
// unusual about it: empty, a partial last glyph, a picture or a PSF font.
FontFile readFontFile(const std::string& name, const std::string& content);
