// A font as the C source firmware_tools_font(... C_ARRAY <name>) writes
// (cmake/firmware-tools-c-array.cmake) and the header-out recipe of
// doc/fonts.md, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The array `name` of `bytes`, one glyph a line; `firstGlyph` is the index
// in the whole font of the first glyph of `bytes`, for the comments that
// give each glyph's index and character. A partial last glyph has a line
// of its own.
std::string cArraySource(const std::vector<std::uint8_t>& bytes, const std::string& name, std::size_t firstGlyph = 0);
