// 8x8 glyph cells and the transforms applied to them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One glyph: byte i is pixel row i (row 0 at the top); bit 7 of a row is its
// leftmost pixel.
using GlyphCell = std::array<std::uint8_t, 8>;

// Quarter turn counter-clockwise: bit 7-r of output row k is bit k of input row r.
GlyphCell rotateCell(GlyphCell cell);

// Top to bottom flip: output row 7-i is input row i.
GlyphCell mirrorCell(GlyphCell cell);

// Transforms every 8-byte cell of `bytes` in place, rotation first, then the
// mirror. A partial last cell is transformed as a full cell whose missing
// rows are 0, and only its own rows are kept.
void transformGlyphs(std::uint8_t* bytes, std::size_t size, bool rotate, bool mirror);
