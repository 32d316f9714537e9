#include "font_sheet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// The first pixel of row `row` of glyph `glyph`, as an index into RGBA bytes.
std::size_t pixelIndex(std::size_t glyph, std::size_t row)
{
    const std::size_t x = glyph % 16 * 8;
    const std::size_t y = glyph / 16 * 8 + row;
    return (y * sheetWidth + x) * 4;
}

// A colour as one number, RGBA; every wholly transparent pixel is the same.
std::uint32_t colourAt(const std::vector<std::uint8_t>& rgba, std::size_t index)
{
    if (rgba[index + 3] == 0)
        return 0;
    return static_cast<std::uint32_t>(rgba[index]) << 24 | static_cast<std::uint32_t>(rgba[index + 1]) << 16 |
           static_cast<std::uint32_t>(rgba[index + 2]) << 8 | rgba[index + 3];
}

// How light a colour is, transparent the lightest: the paper.
double lightness(std::uint32_t colour)
{
    if ((colour & 0xFF) == 0)
        return 1e9;
    return 0.299 * (colour >> 24) + 0.587 * (colour >> 16 & 0xFF) + 0.114 * (colour >> 8 & 0xFF);
}

std::string colourName(std::uint32_t colour)
{
    if ((colour & 0xFF) == 0)
        return "transparent";
    char text[16];
    (void)std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour >> 8));
    return (colour & 0xFF) == 0xFF ? text : std::string(text) + " partly transparent";
}

}  // namespace

unsigned sheetHeight(std::size_t bytes)
{
    return static_cast<unsigned>((bytes + 127) / 128 * 8);
}

std::vector<std::uint8_t> sheetPixels(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> rgba(std::size_t{sheetWidth} * sheetHeight(bytes.size()) * 4, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t first = pixelIndex(i / 8, i % 8);
        for (std::size_t bit = 0; bit < 8; ++bit) {
            const std::uint8_t level = (bytes[i] & (0x80 >> bit)) != 0 ? 0 : 255;
            std::memset(&rgba[first + bit * 4], level, 3);
            rgba[first + bit * 4 + 3] = 255;
        }
    }
    return rgba;
}

std::string sheetShapeError(unsigned width, unsigned height)
{
    if (width == sheetWidth && height % 8 == 0 && height > 0 && height <= sheetHeight(maxGlyphs * 8))
        return "";
    return "a sheet is " + std::to_string(sheetWidth) +
           " pixels wide, 16 glyphs of 8 with one pixel a dot, and a multiple of 8 pixels high, at most " +
           std::to_string(sheetHeight(maxGlyphs * 8)) + "; this picture is " + std::to_string(width) + " x " +
           std::to_string(height) + ".";
}

FontFile readSheet(const std::string& name, const std::string& about, unsigned width, unsigned height,
                   const std::vector<std::uint8_t>& rgba)
{
    FontFile font;
    font.name = name;
    font.error = sheetShapeError(width, height);
    font.error.insert(0, font.error.empty() ? "" : about + ": ");
    if (font.error.empty() && rgba.size() != std::size_t{width} * height * 4)
        font.error = about + ": its pixels did not reach the page whole.";
    if (!font.error.empty())
        return font;

    // The rows wholly transparent at the end, as the page leaves them.
    const std::size_t rows = std::size_t{height} / 8 * 16 * 8;
    const auto transparentRow = [&](std::size_t row) {
        const std::size_t first = pixelIndex(row / 8, row % 8);
        for (std::size_t bit = 0; bit < 8; ++bit)
            if (rgba[first + bit * 4 + 3] != 0)
                return false;
        return true;
    };
    std::size_t kept = rows;
    while (kept > 0 && transparentRow(kept - 1))
        --kept;
    std::map<std::uint32_t, std::size_t> colours;  // each colour of the kept rows, and how many pixels have it
    for (std::size_t row = 0; row < kept; ++row)
        for (std::size_t bit = 0; bit < 8; ++bit)
            ++colours[colourAt(rgba, pixelIndex(row / 8, row % 8) + bit * 4)];
    // Transparent elsewhere too: a picture drawn on a transparent ground, whose rows all count.
    if (colours.count(0) != 0)
        kept = rows;
    if (colours.size() > 2) {
        std::vector<std::pair<std::size_t, std::uint32_t>> most;
        for (const auto& [colour, pixels] : colours)
            most.emplace_back(pixels, colour);
        std::sort(most.rbegin(), most.rend());
        font.error = about + ": it has " + std::to_string(colours.size()) +
                     " colours, and a sheet has two, the darker one the dots; the most used are ";
        for (std::size_t i = 0; i < 3; ++i)
            font.error += colourName(most[i].second) + (i == 0 ? ", " : i == 1 ? " and " : ".");
        return font;
    }
    // Of two colours the darker is the dots; one alone is dots when it is dark.
    std::uint32_t dots = colours.empty() ? 0 : colours.begin()->first;
    if (colours.size() == 2 && lightness(colours.rbegin()->first) < lightness(dots))
        dots = colours.rbegin()->first;
    const bool anyDots = colours.size() == 2 || (colours.size() == 1 && lightness(dots) < 128);
    font.bytes.assign(kept, 0);
    for (std::size_t row = 0; anyDots && row < kept; ++row)
        for (std::size_t bit = 0; bit < 8; ++bit)
            if (colourAt(rgba, pixelIndex(row / 8, row % 8) + bit * 4) == dots)
                font.bytes[row] |= static_cast<std::uint8_t>(0x80 >> bit);
    font.message = about + ": " + std::to_string((kept + 7) / 8) + " glyphs" +
                   (anyDots ? ", " + colourName(dots) + " the dots." : ", none with a dot.");
    checkGlyphs(font);
    return font;
}
