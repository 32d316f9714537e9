// A font file as the page takes it: raw glyphs, a C header's hex literals,
// a PSF console font, or a picture of its glyphs (font_sheet.h); and the
// range of its glyphs the page converts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most the page takes: a file of 1 MiB (a header's text is five to six
// times its bytes), and 8192 glyphs (64 KiB), which it draws at 3 pixels a
// dot within what a browser's canvas holds.
constexpr std::size_t maxFileBytes = 1 << 20;
constexpr std::size_t maxGlyphs = 8192;

// A file's size in words, 1 MiB or 1048576 bytes.
std::string sizeInWords(std::uint64_t bytes);

// Why a file of `size` bytes is not taken ("" when it is); `unpacked`: the
// size of a gzip file's content, which the page stops unpacking past the limit.
std::string fileSizeError(const std::string& name, std::uint64_t size, bool unpacked);

struct FontFile {
    std::string name;                 // the file's name, without .gz when it was unpacked
    std::vector<std::uint8_t> bytes;  // the glyphs, 8 bytes each
    bool raw = false;                 // the file is its glyphs, byte for byte
    bool header = false;              // a C header, read by its hex literals
    bool gzip = false;                // the file is gzip data: the browser unpacks it, then it is read again
    bool picture = false;             // a picture: the browser decodes it into a sheet (font_sheet.h)
    std::string message;              // what the page took, or what is unusual about the file
    std::string error;                // why the page takes no glyph from it; empty when it takes them
};

// The glyphs of the file `name` whose content is `content`; `unpacked`:
// the content is what the browser unpacked from the gzip file `name`.
FontFile readFontFile(const std::string& name, const std::string& content, bool unpacked);

// Checks of a font however it was read: a limit, a partial last glyph, no glyph.
void checkGlyphs(FontFile& font);

// The glyphs from `firstText` (empty: 0), `countText` of them (empty: all
// after it), each a decimal or 0x hex number.
struct GlyphRange {
    std::vector<std::uint8_t> bytes;
    std::size_t first = 0;
    std::string message;  // the range in words, when it is not the whole font
    std::string error;
};
GlyphRange glyphRange(const std::vector<std::uint8_t>& bytes, const std::string& firstText,
                      const std::string& countText);
