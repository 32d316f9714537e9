#include "glyph_cell.h"

#include <algorithm>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define GLYPH_CELL_SSE2 1
#if defined(__GNUC__) || defined(__clang__)
#include <immintrin.h>
#define GLYPH_CELL_GFNI 1  // chosen at run time, where the processor has it
#endif
#endif

// The cell is handled as one 64-bit word, row i in bits 8i to 8i+7, so that
// bit 8r+c is bit c of row r. Flipping rows is a byte reversal and the bit
// rule of the rotation is a transpose of the reversed cell.
namespace {

std::uint64_t loadCell(const std::uint8_t* rows)
{
    std::uint64_t word = 0;
    for (int row = 7; row >= 0; --row)
        word = (word << 8) | rows[row];
    return word;
}

void storeCell(std::uint64_t word, std::uint8_t* rows)
{
    for (int row = 0; row < 8; ++row)
        rows[row] = static_cast<std::uint8_t>(word >> (8 * row));
}

std::uint64_t reverseRows(std::uint64_t word)
{
    word = ((word & 0x00FF00FF00FF00FFull) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFull);
    word = ((word & 0x0000FFFF0000FFFFull) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFull);
    return (word << 32) | (word >> 32);
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

// Rotation and mirror together reflect the glyph about its other diagonal:
// bit c of row r goes to bit 7-r of row 7-c. Three rounds again.
std::uint64_t flipAntiDiagonal(std::uint64_t word)
{
    std::uint64_t t = word ^ (word << 36);
    word ^= 0xF0F0F0F00F0F0F0Full & (t ^ (word >> 36));
    t = 0xCCCC0000CCCC0000ull & (word ^ (word << 18));
    word ^= t ^ (t >> 18);
    t = 0xAA00AA00AA00AA00ull & (word ^ (word << 9));
    word ^= t ^ (t >> 9);
    return word;
}

// The flags are template arguments so that the loop over the cells holds
// nothing but shifts and masks.
template <bool Rotate, bool Mirror>
std::uint64_t transformWord(std::uint64_t word)
{
    if (Rotate && Mirror)
        return flipAntiDiagonal(word);
    if (Rotate)
        word = transpose(reverseRows(word));
    if (Mirror)
        word = reverseRows(word);
    return word;
}

std::uint64_t transformWord(std::uint64_t word, bool rotate, bool mirror)
{
    if (rotate && mirror)
        return transformWord<true, true>(word);
    if (rotate)
        return transformWord<true, false>(word);
    if (mirror)
        return transformWord<false, true>(word);
    return word;
}

#ifdef GLYPH_CELL_SSE2
// The same steps on two cells at a time, one in each 64-bit lane; x86 is
// little-endian, so a plain load puts row i in bits 8i to 8i+7 of its lane.
__m128i reverseRows(__m128i cells)
{
    cells = _mm_shufflelo_epi16(cells, _MM_SHUFFLE(0, 1, 2, 3));
    cells = _mm_shufflehi_epi16(cells, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_or_si128(_mm_slli_epi16(cells, 8), _mm_srli_epi16(cells, 8));
}

template <int Distance>
__m128i swapBits(__m128i cells, __m128i mask)
{
    const __m128i t = _mm_and_si128(_mm_xor_si128(cells, _mm_srli_epi64(cells, Distance)), mask);
    return _mm_xor_si128(cells, _mm_xor_si128(t, _mm_slli_epi64(t, Distance)));
}

__m128i transpose(__m128i cells)
{
    cells = swapBits<7>(cells, _mm_set1_epi64x(0x00AA00AA00AA00AALL));
    cells = swapBits<14>(cells, _mm_set1_epi64x(0x0000CCCC0000CCCCLL));
    return swapBits<28>(cells, _mm_set1_epi64x(0x00000000F0F0F0F0LL));
}

__m128i flipAntiDiagonal(__m128i cells)
{
    __m128i t = _mm_xor_si128(cells, _mm_slli_epi64(cells, 36));
    cells = _mm_xor_si128(cells, _mm_and_si128(_mm_set1_epi64x(static_cast<long long>(0xF0F0F0F00F0F0F0Full)),
                                               _mm_xor_si128(t, _mm_srli_epi64(cells, 36))));
    t = _mm_and_si128(_mm_set1_epi64x(static_cast<long long>(0xCCCC0000CCCC0000ull)),
                      _mm_xor_si128(cells, _mm_slli_epi64(cells, 18)));
    cells = _mm_xor_si128(cells, _mm_xor_si128(t, _mm_srli_epi64(t, 18)));
    t = _mm_and_si128(_mm_set1_epi64x(static_cast<long long>(0xAA00AA00AA00AA00ull)),
                      _mm_xor_si128(cells, _mm_slli_epi64(cells, 9)));
    return _mm_xor_si128(cells, _mm_xor_si128(t, _mm_srli_epi64(t, 9)));
}

template <bool Rotate, bool Mirror>
void transformWholeCells(const std::uint8_t* source, std::uint8_t* target, std::size_t cells)
{
    std::size_t i = 0;
    for (; i + 2 <= cells; i += 2, source += 16, target += 16) {
        __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        if (Rotate && Mirror)
            pair = flipAntiDiagonal(pair);
        else if (Rotate)
            pair = transpose(reverseRows(pair));
        else if (Mirror)
            pair = reverseRows(pair);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), pair);
    }
    if (i < cells)
        storeCell(transformWord<Rotate, Mirror>(loadCell(source)), target);
}
#else
template <bool Rotate, bool Mirror>
void transformWholeCells(const std::uint8_t* source, std::uint8_t* target, std::size_t cells)
{
    for (std::size_t i = 0; i < cells; ++i, source += 8, target += 8)
        storeCell(transformWord<Rotate, Mirror>(loadCell(source)), target);
}
#endif

#ifdef GLYPH_CELL_GFNI
// Processors with GFNI turn two cells in one instruction: bit b of byte i of
// gf2p8affineqb's result is the parity of (selector byte i AND cell row 7-b).
// A selector whose byte i holds bit i alone gives bit 7-r of output row i =
// bit i of input row r, the rotation; one whose byte i holds bit 7-i gives
// the rotation and mirror together. The mirror alone takes two: the
// rotation applied after the rotation and mirror gives output row i = input
// row 7-i.
const std::uint64_t rotationSelector = 0x8040201008040201ull;
const std::uint64_t rotationAndMirrorSelector = 0x0102040810204080ull;

template <bool Rotate, bool Mirror>
__attribute__((target("gfni"))) void transformWholeCellsGfni(const std::uint8_t* source, std::uint8_t* target,
                                                             std::size_t cells)
{
    const __m128i rotation = _mm_set1_epi64x(static_cast<long long>(rotationSelector));
    const __m128i both = _mm_set1_epi64x(static_cast<long long>(rotationAndMirrorSelector));
    std::size_t i = 0;
    for (; i + 2 <= cells; i += 2, source += 16, target += 16) {
        __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        if (!Rotate)
            pair = _mm_gf2p8affine_epi64_epi8(both, pair, 0);
        pair = _mm_gf2p8affine_epi64_epi8(Rotate && Mirror ? both : rotation, pair, 0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), pair);
    }
    if (i < cells)
        storeCell(transformWord<Rotate, Mirror>(loadCell(source)), target);
}

// Four cells in one instruction where AVX registers are there too: twice
// the speed of the two-cell loop, which was an eighth of a run converting a
// file from the page cache into a new one. (Eight cells in AVX-512
// registers ran no faster.)
template <bool Rotate, bool Mirror>
__attribute__((target("gfni,avx"))) void transformWholeCellsGfniAvx(const std::uint8_t* source, std::uint8_t* target,
                                                                    std::size_t cells)
{
    const __m256i rotation = _mm256_set1_epi64x(static_cast<long long>(rotationSelector));
    const __m256i both = _mm256_set1_epi64x(static_cast<long long>(rotationAndMirrorSelector));
    std::size_t i = 0;
    for (; i + 4 <= cells; i += 4, source += 32, target += 32) {
        __m256i four = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
        if (!Rotate)
            four = _mm256_gf2p8affine_epi64_epi8(both, four, 0);
        four = _mm256_gf2p8affine_epi64_epi8(Rotate && Mirror ? both : rotation, four, 0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), four);
    }
    for (; i < cells; ++i, source += 8, target += 8)
        storeCell(transformWord<Rotate, Mirror>(loadCell(source)), target);
}
#endif

// One loop per code and flag combination keeps both out of the inner loop.
using WholeCellLoop = void (*)(const std::uint8_t* source, std::uint8_t* target, std::size_t cells);

WholeCellLoop oneOf(bool rotate, bool mirror, WholeCellLoop both, WholeCellLoop rotation, WholeCellLoop mirroring)
{
    return rotate && mirror ? both : rotate ? rotation : mirroring;
}

void transformWholeCells(TransformCode code, const std::uint8_t* source, std::uint8_t* target, std::size_t cells,
                         bool rotate, bool mirror)
{
    if (!rotate && !mirror) {
        std::copy(source, source + cells * 8, target);
        return;
    }
    WholeCellLoop loop = oneOf(rotate, mirror, transformWholeCells<true, true>, transformWholeCells<true, false>,
                               transformWholeCells<false, true>);
#ifdef GLYPH_CELL_GFNI
    if (code == TransformCode::FourCellsGfni)
        loop = oneOf(rotate, mirror, transformWholeCellsGfniAvx<true, true>, transformWholeCellsGfniAvx<true, false>,
                     transformWholeCellsGfniAvx<false, true>);
    if (code == TransformCode::TwoCellsGfni)
        loop = oneOf(rotate, mirror, transformWholeCellsGfni<true, true>, transformWholeCellsGfni<true, false>,
                     transformWholeCellsGfni<false, true>);
#else
    (void)code;
#endif
    loop(source, target, cells);
}

}  // namespace

std::vector<TransformCode> transformCodesHere()
{
    std::vector<TransformCode> codes;
#ifdef GLYPH_CELL_GFNI
    // "avx" also asks whether the system saves the AVX registers.
    if (__builtin_cpu_supports("gfni") && __builtin_cpu_supports("avx"))
        codes.push_back(TransformCode::FourCellsGfni);
    if (__builtin_cpu_supports("gfni"))
        codes.push_back(TransformCode::TwoCellsGfni);
#endif
    codes.push_back(TransformCode::ShiftsAndMasks);
    return codes;
}

void transformGlyphsWith(TransformCode code, const std::uint8_t* source, std::uint8_t* target, std::size_t size,
                         bool rotate, bool mirror)
{
    const std::size_t wholeCells = size / 8;
    transformWholeCells(code, source, target, wholeCells, rotate, mirror);

    const std::size_t tail = size % 8;
    if (tail != 0) {
        const std::size_t last = wholeCells * 8;
        GlyphCell cell{};
        std::copy(source + last, source + size, cell.begin());
        storeCell(transformWord(loadCell(cell.data()), rotate, mirror), cell.data());
        std::copy(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(tail), target + last);
    }
}

GlyphCell rotateCell(const GlyphCell& source)
{
    GlyphCell result{};
    storeCell(transformWord(loadCell(source.data()), true, false), result.data());
    return result;
}

GlyphCell mirrorCell(const GlyphCell& source)
{
    GlyphCell result{};
    storeCell(transformWord(loadCell(source.data()), false, true), result.data());
    return result;
}

void transformGlyphs(const std::uint8_t* source, std::uint8_t* target, std::size_t size, bool rotate, bool mirror)
{
    static const TransformCode fastest = transformCodesHere().front();
    transformGlyphsWith(fastest, source, target, size, rotate, mirror);
}
