// 8x8 glyph cells and the transforms applied to them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One glyph: byte i is pixel row i (row 0 at the top); bit 7 of a row is its
// leftmost pixel.
using GlyphCell = std::array<std::uint8_t, 8>;

// Quarter turn counter-clockwise: bit 7-r of output row k is bit k of input row r.
GlyphCell rotateCell(const GlyphCell& source);

// Top to bottom flip: output row 7-i is input row i.
GlyphCell mirrorCell(const GlyphCell& source);

// Transforms every 8-byte cell of `source` into `target` (which may be
// `source` itself), rotation first, then the mirror. A partial last cell is
// transformed as a full cell whose missing rows are 0, and only its own rows
// are kept.
void transformGlyphs(const std::uint8_t* source, std::uint8_t* target, std::size_t size, bool rotate, bool mirror);

// The ways of transforming whole cells, fastest first: GFNI on four cells
// at a time (with AVX registers) or two, and shifts and masks, which every
// processor runs. transformGlyphs takes the first this processor has.
enum class TransformCode { FourCellsGfni, TwoCellsGfni, ShiftsAndMasks };

// The codes this processor runs, fastest first, so that tests reach each.
std::vector<TransformCode> transformCodesHere();

// transformGlyphs with the given code, which must be one of this processor's.
void transformGlyphsWith(TransformCode code, const std::uint8_t* source, std::uint8_t* target, std::size_t size,
                         bool rotate, bool mirror);
