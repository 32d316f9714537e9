// A font as the C source firmware_tools_font(... C_ARRAY <name>) writes
// (cmake/firmware-tools-c-array.cmake), byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string cArraySource(const std::vector<std::uint8_t>& bytes, const std::string& name, std::size_t firstGlyph = 0);
