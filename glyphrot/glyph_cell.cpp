#include "glyph_cell.h"

#include <algorithm>
#include <cstring>

// The cell is handled as one 64-bit word, row i in bits 8i to 8i+7, so that
// bit 8r+c is bit c of row r. Flipping rows is a byte reversal, and the bit
// rule of the rotation is a transpose of the reversed cell.
namespace {

std::uint64_t reverseRows(std::uint64_t word)
{
    word = ((word & 0x00FF00FF00FF00FFull) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFull);
    word = ((word & 0x0000FFFF0000FFFFull) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFull);
    return (word << 32) | (word >> 32);
}

// Row i in bits 8i to 8i+7: one plain load or store where the processor
// keeps a word's bytes in that order, as every build here does; the bytes
// swapped where it does not (.ci/big-endian runs that path on s390x).
constexpr bool bytesInRowOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

std::uint64_t loadCell(const std::uint8_t* rows)
{
    std::uint64_t word = 0;
    std::memcpy(&word, rows, 8);
    return bytesInRowOrder ? word : reverseRows(word);
}

void storeCell(std::uint64_t word, std::uint8_t* rows)
{
    word = bytesInRowOrder ? word : reverseRows(word);
    std::memcpy(rows, &word, 8);
}

// Swaps bit c of row r with bit r of row c, in three rounds of 2x2 block swaps.
std::uint64_t transpose(std::uint64_t word)
{
    std::uint64_t t = (word ^ (word >> 7)) & 0x00AA00AA00AA00AAull;
    word ^= t ^ (t << 7);
    t = (word ^ (word >> 14)) & 0x0000CCCC0000CCCCull;
    word ^= t ^ (t << 14);
    t = (word ^ (word >> 28)) & 0x00000000F0F0F0F0ull;
    word ^= t ^ (t << 28);
    return word;
}

// Both together reflect the glyph about its other diagonal, bit c of row r
// to bit 7-r of row 7-c: three rounds, and no byte swap, which the compiler
// can apply to several cells at once.
std::uint64_t flipAntiDiagonal(std::uint64_t word)
{
    std::uint64_t t = word ^ (word << 36);
    word ^= 0xF0F0F0F00F0F0F0Full & (t ^ (word >> 36));
    t = 0xCCCC0000CCCC0000ull & (word ^ (word << 18));
    word ^= t ^ (t >> 18);
    t = 0xAA00AA00AA00AA00ull & (word ^ (word << 9));
    return word ^ t ^ (t >> 9);
}

std::uint64_t transformWord(std::uint64_t word, bool rotate, bool mirror)
{
    if (rotate && mirror)
        return flipAntiDiagonal(word);
    if (rotate)
        word = transpose(reverseRows(word));
    return mirror ? reverseRows(word) : word;
}

}  // namespace

GlyphCell rotateCell(GlyphCell cell)
{
    transformGlyphs(cell.data(), cell.size(), true, false);
    return cell;
}

GlyphCell mirrorCell(GlyphCell cell)
{
    transformGlyphs(cell.data(), cell.size(), false, true);
    return cell;
}

void transformGlyphs(std::uint8_t* bytes, std::size_t size, bool rotate, bool mirror)
{
    const std::size_t whole = size - size % 8;
    for (std::size_t at = 0; at < whole; at += 8)
        storeCell(transformWord(loadCell(bytes + at), rotate, mirror), bytes + at);
    if (whole < size) {
        // The missing rows of a partial last cell are 0, and stay unwritten.
        GlyphCell cell{};
        std::copy(bytes + whole, bytes + size, cell.begin());
        storeCell(transformWord(loadCell(cell.data()), rotate, mirror), cell.data());
        std::copy(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(size - whole), bytes + whole);
    }
}
