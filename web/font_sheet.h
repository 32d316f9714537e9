// A font as a picture, and a picture as a font: the sheet of its glyphs,
// glyph i in column i mod 16 and row i div 16 of 8x8 cells, one pixel a dot.
#pragma once

#include "font_file.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned sheetWidth = 16 * 8;

// The sheet's height for `bytes` of glyphs: 8 pixels for each 16 glyphs begun.
unsigned sheetHeight(std::size_t bytes);

// The sheet as RGBA pixels, row by row: dots black, the rest of each glyph
// white, and past the last byte (cells after the last glyph, the missing
// rows of a partial one) transparent.
std::vector<std::uint8_t> sheetPixels(const std::vector<std::uint8_t>& bytes);

// Why a picture of `width` x `height` pixels is no sheet the page takes ("" when it is one), in words that follow a
// colon.
std::string sheetShapeError(unsigned width, unsigned height);

// The glyphs of a sheet drawn in any two colours, the darker one the dots.
// The rows of 8 pixels, in the order of the bytes, that are wholly
// transparent at the end are no bytes, as the page writes a sheet; where
// the picture has other transparent pixels, transparent is a colour.
// `about`: what the file is, in words, the start of every message.
FontFile readSheet(const std::string& name, const std::string& about, unsigned width, unsigned height,
                   const std::vector<std::uint8_t>& rgba);
