#include "font_file.h"

#include "c_source.h"

#include <cctype>
#include <cstdio>

namespace {

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool startsWith(const std::string& content, const std::string& magic)
{
    return content.compare(0, magic.size(), magic) == 0;
}

std::string hex(std::size_t value)
{
    char text[24];
    (void)std::snprintf(text, sizeof text, "0x%zX", value);
    return text;
}

// The format of a picture the browser can decode, named; "" for any other file.
std::string pictureFormat(const std::string& content)
{
    if (startsWith(content, "\x89PNG\r\n\x1a\n"))
        return "PNG";
    if (startsWith(content, "GIF87a") || startsWith(content, "GIF89a"))
        return "GIF";
    if (startsWith(content, "\xff\xd8\xff"))
        return "JPEG";
    if (startsWith(content, "BM") && content.size() >= 6) {
        // The header's file size, little-endian, tells a picture from two rows of a glyph.
        std::uint32_t size = 0;
        for (std::size_t i = 6; i-- > 2;)
            size = size << 8 | static_cast<std::uint8_t>(content[i]);
        if (size == content.size())
            return "BMP";
    }
    return "";
}

std::uint64_t littleEndian32(const std::string& content, std::size_t at)
{
    std::uint64_t value = 0;
    for (std::size_t i = at + 4; i-- > at;)
        value = value << 8 | static_cast<std::uint8_t>(content[i]);
    return value;
}

// A PSF1 or PSF2 console font: its glyphs when they are 8x8, the Unicode
// table after them left out. False when the file is no PSF font.
bool readPsf(const std::string& content, FontFile& font)
{
    std::string kind;
    std::uint64_t header = 0;
    std::uint64_t count = 0;
    std::uint64_t glyphBytes = 0;
    std::uint64_t height = 0;
    std::uint64_t width = 8;
    bool table = false;
    if (startsWith(content, "\x36\x04") && content.size() >= 4) {
        // Byte 2: 512 glyphs with bit 0, a Unicode table with bit 1 or 2; byte 3: the height.
        kind = "PSF1";
        const auto mode = static_cast<std::uint8_t>(content[2]);
        header = 4;
        count = (mode & 1) != 0 ? 512 : 256;
        glyphBytes = height = static_cast<std::uint8_t>(content[3]);
        table = (mode & 6) != 0;
    } else if (startsWith(content, "\x72\xb5\x4a\x86") && content.size() >= 32) {
        // 32-bit numbers: version, header size, flags (bit 0: a Unicode table),
        // glyph count, bytes a glyph, height, width.
        kind = "PSF2";
        header = littleEndian32(content, 8);
        table = (littleEndian32(content, 12) & 1) != 0;
        count = littleEndian32(content, 16);
        glyphBytes = littleEndian32(content, 20);
        height = littleEndian32(content, 24);
        width = littleEndian32(content, 28);
    } else {
        return false;
    }
    const std::string what = "A " + kind + " console font";
    if (width != 8 || height != 8) {
        font.error = what + " of " + std::to_string(width) + "x" + std::to_string(height) +
                     " glyphs (width x height): the page takes 8x8 glyphs only.";
    } else if (glyphBytes != 8 || header < (kind == "PSF1" ? 4 : 32)) {
        font.error = what + " whose header is wrong: " + plural(glyphBytes, "byte", "bytes") + " a glyph of 8x8, " +
                     plural(header, "byte", "bytes") + " of header.";
    } else if (header + count * 8 > content.size()) {
        font.error = what + " cut short: its header gives " + plural(count, "glyph", "glyphs") + " after " +
                     plural(header, "byte", "bytes") + " of header, " + std::to_string(header + count * 8) +
                     " bytes, and the file has " + std::to_string(content.size()) + ".";
    } else {
        font.bytes.assign(content.begin() + static_cast<std::ptrdiff_t>(header),
                          content.begin() + static_cast<std::ptrdiff_t>(header + count * 8));
        font.message = what + ": its " + plural(count, "glyph", "glyphs") + " of 8x8 taken" +
                       (table ? ", its Unicode table left out." : ".");
    }
    return true;
}

// A number as typed: decimal, or hex after 0x; blanks around it.
bool readIndex(std::string text, std::size_t& value)
{
    const std::size_t begin = text.find_first_not_of(" \t");
    text = begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = isHex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 7 ||
        digits.find_first_not_of(isHex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    value = std::stoul(digits, nullptr, isHex ? 16 : 10);
    return true;
}

}  // namespace

std::string sizeInWords(std::uint64_t bytes)
{
    if (bytes < 1024)
        return plural(bytes, "byte", "bytes");
    const std::uint64_t unit = bytes >= 1 << 20 ? 1 << 20 : 1024;
    char text[64];
    (void)std::snprintf(text, sizeof text, "%.*f %s (%llu bytes)", bytes % unit == 0 ? 0 : 1,
                        static_cast<double>(bytes) / static_cast<double>(unit), unit == 1024 ? "KiB" : "MiB",
                        static_cast<unsigned long long>(bytes));
    return text;
}

std::string fileSizeError(const std::string& name, std::uint64_t size, bool unpacked)
{
    if (size <= maxFileBytes)
        return "";
    return name + (unpacked ? " unpacks to more than " + sizeInWords(maxFileBytes) : " is " + sizeInWords(size)) +
           ": the page takes fonts of up to " + sizeInWords(maxFileBytes) + ".";
}

FontFile readFontFile(const std::string& name, const std::string& content, bool unpacked)
{
    FontFile font;
    font.name = name;
    const std::size_t dot = name.rfind('.');
    if (unpacked && dot != std::string::npos && dot > 0 && (name.substr(dot) == ".gz" || name.substr(dot) == ".GZ"))
        font.name = name.substr(0, dot);
    const std::string unpackedWords =
        unpacked ? name + ", gzip data, unpacked by the browser: " + sizeInWords(content.size()) + ". " : "";

    font.error = fileSizeError(name, content.size(), unpacked);
    if (!font.error.empty())
        return font;
    if (startsWith(content, "\x1f\x8b")) {
        font.gzip = !unpacked;
        if (unpacked)
            font.error = unpackedWords + "It is gzip data again: the page unpacks a file once.";
        return font;
    }
    const std::string picture = pictureFormat(content);
    if (!picture.empty()) {
        font.picture = true;
        font.message = unpackedWords + "A " + picture + " picture, read as a sheet of glyphs";
        return font;
    }
    if (readPsf(content, font)) {
        // Its glyphs, or why it gives none, in the words of PSF fonts.
    } else if (isCSourceName(font.name)) {
        font.header = true;
        font.bytes = readHeaderBytes(content);
        font.message = "Read as a C header: " + plural(font.bytes.size(), "byte", "bytes") +
                       " from its hex literals, comments and directives left out.";
        if (font.bytes.empty())
            font.error = "The header holds no hex literal outside comments and directives: there is no glyph to "
                         "convert.";
    } else {
        font.raw = true;
        font.bytes.assign(content.begin(), content.end());
        if (content.empty())
            font.error = "The file is empty: there is no glyph to convert.";
    }
    font.message.insert(0, unpackedWords);
    font.error.insert(0, font.error.empty() ? "" : unpackedWords);
    checkGlyphs(font);
    return font;
}

void checkGlyphs(FontFile& font)
{
    const std::size_t size = font.bytes.size();
    if (!font.error.empty())
        return;
    if (size == 0) {
        font.error = font.message + " There is no glyph in it.";
    } else if (size > maxGlyphs * 8) {
        font.error = font.message + " The font has " + plural((size + 7) / 8, "glyph", "glyphs") +
                     ": the page takes fonts of up to " + std::to_string(maxGlyphs) + " glyphs, " +
                     std::to_string(maxGlyphs * 8 / 1024) + " KiB.";
    } else if (size % 8 != 0) {
        font.message += " The last glyph is partial: " + plural(size, "byte", "bytes") + " are " +
                        plural(size / 8, "whole glyph", "whole glyphs") + " and " + plural(size % 8, "row", "rows") +
                        " of one more, which is converted as glyphrot converts it: its missing rows taken as 0, "
                        "only its own rows written.";
    }
    while (!font.message.empty() && font.message[0] == ' ')
        font.message.erase(0, 1);
    while (!font.error.empty() && font.error[0] == ' ')
        font.error.erase(0, 1);
}

GlyphRange glyphRange(const std::vector<std::uint8_t>& bytes, const std::string& firstText,
                      const std::string& countText)
{
    GlyphRange range;
    const std::size_t total = (bytes.size() + 7) / 8;
    if (total == 0) {
        range.error = "There is no glyph to convert.";
        return range;
    }
    std::size_t count = 0;
    const bool whole = countText.find_first_not_of(" \t") == std::string::npos;
    const bool fromStart = firstText.find_first_not_of(" \t") == std::string::npos;
    const std::string glyphs =
        "The font has " + plural(total, "glyph", "glyphs") + ", 0 to " + std::to_string(total - 1) + ": ";
    if (!fromStart && !readIndex(firstText, range.first))
        range.error = "The first glyph is a number, decimal or hex as 0x20: \"" + firstText + "\" is not one.";
    else if (!whole && !readIndex(countText, count))
        range.error = "The count of glyphs is a number, decimal or hex as 0x60: \"" + countText + "\" is not one.";
    else if (range.first >= total)
        range.error = glyphs + "there is no glyph " + std::to_string(range.first) + ".";
    else if (!whole && count == 0)
        range.error = "A count of 0 takes no glyph: leave it empty for every glyph from the first.";
    else if (!whole && count > total - range.first)
        range.error = glyphs + plural(count, "glyph", "glyphs") + " from " + std::to_string(range.first) +
                      " would end at " + std::to_string(range.first + count - 1) + ".";
    if (!range.error.empty())
        return range;
    if (whole)
        count = total - range.first;
    const std::size_t begin = range.first * 8;
    const std::size_t end = std::min(bytes.size(), (range.first + count) * 8);
    range.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                       bytes.begin() + static_cast<std::ptrdiff_t>(end));
    const std::size_t last = range.first + count - 1;
    if (count == total)
        return range;
    if (count == 1)
        range.message =
            "Glyph " + std::to_string(last) + " (" + hex(last) + ") of the font's " + std::to_string(total) + ".";
    else
        range.message = "Glyphs " + std::to_string(range.first) + " to " + std::to_string(last) + " (" +
                        hex(range.first) + " to " + hex(last) + "), " + std::to_string(count) + " of the font's " +
                        std::to_string(total) + ".";
    return range;
}
