#include "font_file.h"

#include <algorithm>
#include <cctype>

namespace {

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text with each comment made one space, line ends kept; string and
// character literals are kept whole, so that "//" in one starts nothing.
std::string withoutComments(const std::string& text)
{
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            kept += ' ';
            if (i == std::string::npos)
                break;
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            for (std::size_t j = i; j < std::min(end, text.size()); ++j)
                if (text[j] == '\n')
                    kept += '\n';
            kept += ' ';
            i = end == std::string::npos ? text.size() : end + 2;
        } else if (text[i] == '"' || text[i] == '\'') {
            const char quote = text[i];
            std::size_t j = i + 1;
            while (j < text.size() && text[j] != quote && text[j] != '\n')
                j += text[j] == '\\' ? 2 : 1;
            j = std::min(j + 1, text.size());
            kept.append(text, i, j - i);
            i = j;
        } else {
            kept += text[i++];
        }
    }
    return kept;
}

// The text without its preprocessor lines ("#" first on the line, and the
// lines a "\" at the end continues).
std::string withoutDirectives(const std::string& text)
{
    std::string kept;
    bool directive = false;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(begin, end - begin);
        const std::size_t first = line.find_first_not_of(" \t\r\f\v");
        if (!directive)
            directive = first != std::string::npos && line[first] == '#';
        if (!directive)
            kept += line;
        std::string trimmed = line;
        while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r'))
            trimmed.pop_back();
        directive = directive && endsWith(trimmed, "\\");
        begin = end;
    }
    return kept;
}

std::string plural(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// What the file starts as when it is a picture or a PSF console font; "" otherwise.
std::string otherFormat(const std::string& content)
{
    const auto startsWith = [&content](const std::string& magic) {
        return content.compare(0, magic.size(), magic) == 0;
    };
    if (startsWith("\x89PNG\r\n\x1a\n"))
        return "a PNG picture";
    if (startsWith("GIF87a") || startsWith("GIF89a"))
        return "a GIF picture";
    if (startsWith("\xff\xd8\xff"))
        return "a JPEG picture";
    if (startsWith("BM") && content.size() >= 6) {
        // The header's file size, little-endian, tells a picture from two rows of a glyph.
        std::uint32_t size = 0;
        for (int i = 5; i >= 2; --i)
            size = size << 8 | static_cast<std::uint8_t>(content[static_cast<std::size_t>(i)]);
        if (size == content.size())
            return "a BMP picture";
    }
    if (startsWith("\x36\x04") || startsWith("\x72\xb5\x4a\x86"))
        return "a PSF console font";
    return "";
}

}  // namespace

bool isCSourceName(const std::string& name)
{
    const std::string lower = lowerCase(name);
    for (const char* extension : {".h", ".c", ".hpp", ".hh", ".cpp", ".cc", ".inc"})
        if (endsWith(lower, extension))
            return true;
    return false;
}

std::vector<std::uint8_t> readHeaderBytes(const std::string& text)
{
    const std::string code = withoutDirectives(withoutComments(text));
    std::string digits;
    for (std::size_t i = 0; i + 1 < code.size(); ++i) {
        if (code[i] != '0' || (code[i + 1] != 'x' && code[i + 1] != 'X'))
            continue;
        std::size_t end = i + 2;
        while (end < code.size() && std::isxdigit(static_cast<unsigned char>(code[end])))
            ++end;
        if (end - i == 3)
            digits += '0';
        digits.append(code, i + 2, end - i - 2);
        i = end - 1;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

FontFile readFontFile(const std::string& name, const std::string& content)
{
    FontFile font;
    std::string format = otherFormat(content);
    font.fromHeader = format.empty() && isCSourceName(name);
    if (font.fromHeader)
        font.bytes = readHeaderBytes(content);
    else
        font.bytes.assign(content.begin(), content.end());

    std::string& message = font.message;
    if (!format.empty()) {
        message = "The file starts as " + format + ", not as raw glyphs: its bytes are converted all the same";
        message += format == "a PSF console font"
                       ? ", header and all. Cut the glyphs out first, as the PSF recipe of doc/fonts.md does. "
                       : ", and what comes out is no font. ";
    }
    const std::size_t size = font.bytes.size();
    if (font.fromHeader && size > 0)
        message += "Read as a C header: " + plural(size, "byte", "bytes") +
                   " from its hex literals, comments and preprocessor lines left out. ";
    if (size == 0) {
        message += font.fromHeader ? "The header holds no hex literal: there is no glyph to convert."
                                   : "The file is empty: there is no glyph to convert.";
    } else if (size % 8 != 0) {
        message += "The last glyph is partial: " + plural(size, "byte", "bytes") + " are " +
                   plural(size / 8, "whole glyph", "whole glyphs") + " and " + plural(size % 8, "row", "rows") +
                   " of one more, which is converted as glyphrot converts it: its missing rows taken as 0, "
                   "only its own rows written.";
    }
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    return font;
}
