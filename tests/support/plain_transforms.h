// The transforms done the slow, obvious way, bit by bit, as references for
// the word-level ones in the library.
#pragma once

#include "glyph_cell.h"

#include <algorithm>
#include <string>

inline GlyphCell plainRotate(const GlyphCell& source)
{
    GlyphCell result{};
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k)
            if ((source[r] >> k) & 1)
                result[k] |= static_cast<std::uint8_t>(1u << (7 - r));
    return result;
}

inline GlyphCell plainMirror(GlyphCell cell)
{
    std::reverse(cell.begin(), cell.end());
    return cell;
}

// The cell walk: zero-padded cells, rotation first, only the cell's own rows kept.
inline std::string plainConvert(const std::string& input, bool rotate, bool mirror)
{
    std::string output;
    for (std::size_t p = 0; p < input.size(); p += 8) {
        GlyphCell cell{};
        const std::size_t n = input.copy(reinterpret_cast<char*>(cell.data()), cell.size(), p);
        cell = rotate ? plainRotate(cell) : cell;
        cell = mirror ? plainMirror(cell) : cell;
        output.append(reinterpret_cast<const char*>(cell.data()), n);
    }
    return output;
}
