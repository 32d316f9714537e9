// What the page's script calls: trivolta's run, its fields, and the font
// conversion, with their results as JavaScript objects.
#include "c_array.h"
#include "c_source.h"
#include "font_commands.h"
#include "font_file.h"
#include "font_sheet.h"
#include "orientations.h"
#include "table_fields.h"
#include "table_run.h"

#include <cerrno>
#include <emscripten/bind.h>
#include <emscripten/val.h>

using emscripten::val;

namespace {

// A copy of the bytes as a Uint8Array.
val bytesValue(const void* data, std::size_t size)
{
    return val(emscripten::typed_memory_view(size, static_cast<const std::uint8_t*>(data))).call<val>("slice");
}

val bytesValue(const std::vector<std::uint8_t>& bytes)
{
    return bytesValue(bytes.data(), bytes.size());
}

val stringList(const std::vector<std::string>& strings)
{
    val list = val::array();
    for (const std::string& text : strings)
        list.call<void>("push", text);
    return list;
}

// { error, names }: the names of the orientations, then of their aliases.
val orientations()
{
    val result = val::object();
    result.set("error", std::string());
    result.set("names", stringList(orientationNames));
    return result;
}

// The errno values the page's file system gives where Linux would.
val systemErrors()
{
    val result = val::object();
    result.set("nameTooLong", ENAMETOOLONG);
    result.set("noSpace", ENOSPC);
    return result;
}

// `font` with `source`, how the page read it: "raw", "header", "psf" or "sheet".
val fontValue(const FontFile& font, const std::string& source)
{
    val result = val::object();
    result.set("name", font.name);
    result.set("bytes", bytesValue(font.bytes));
    result.set("source", source);
    result.set("gzip", font.gzip);
    result.set("picture", font.picture);
    result.set("message", font.message);
    result.set("error", font.error);
    return result;
}

// Why a file of `size` bytes (a JavaScript number) is not read at all; "" when it is.
std::string fileSizeRefusal(const std::string& name, double size)
{
    return size > maxFileBytes ? fileSizeError(name, static_cast<std::uint64_t>(size), false) : "";
}

// The font of the file `name` with the content `content` (unpacked: from gzip).
val takeFont(const std::string& name, const std::string& content, bool unpacked)
{
    const FontFile font = readFontFile(name, content, unpacked);
    return fontValue(font, font.raw ? "raw" : font.header ? "header" : "psf");
}

// The font of a picture the browser decoded into RGBA pixels.
val takeSheet(const std::string& name, const std::string& about, unsigned width, unsigned height,
              const std::string& rgba)
{
    return fontValue(readSheet(name, about, width, height, std::vector<std::uint8_t>(rgba.begin(), rgba.end())),
                     "sheet");
}

// The most bytes the page unpacks from a gzip file: past it, it stops.
double unpackLimit()
{
    return static_cast<double>(maxFileBytes);
}

// The glyphs `bytes` taken from the file `name` (source: "raw", "header",
// "psf" or "sheet"), the range `first` and `count` of them, stored as `from`,
// converted to `to`; the C array named `arrayName`.
val convertFont(const std::string& name, const std::string& bytes, const std::string& source, const std::string& from,
                const std::string& to, const std::string& first, const std::string& count, const std::string& arrayName)
{
    val result = val::object();
    const GlyphRange range = glyphRange(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), first, count);
    std::string runs;
    std::string displayRuns;
    if (!range.error.empty()) {
        result.set("error", range.error);
        return result;
    }
    if (!runsBetween(from, to, runs) || !runsBetween(to, "as-stored", displayRuns)) {
        result.set("error", "no orientation takes " + from + " to " + to);
        return result;
    }
    std::vector<std::uint8_t> output = range.bytes;
    applyRuns(output, runs);
    // As the display shows it: the output taken back to the font as stored.
    std::vector<std::uint8_t> preview = output;
    applyRuns(preview, displayRuns);

    const std::string nameError = arrayNameError(arrayName);
    FontConversion conversion{name, source, from, to, runs, nameError.empty() ? arrayName : "font"};
    conversion.firstGlyph = range.first;
    conversion.bytes = range.bytes.size();
    conversion.fontBytes = bytes.size();
    const FontFileNames names = fontFileNames(conversion);
    result.set("message", range.message);
    result.set("sheetHeight", sheetHeight(range.bytes.size()));
    result.set("inputSheet", bytesValue(sheetPixels(range.bytes)));
    result.set("previewSheet", bytesValue(sheetPixels(preview)));
    result.set("sheetName", names.sheet);
    result.set("output", bytesValue(output));
    result.set("rawName", names.raw);
    result.set("cName", names.c);
    result.set("cError", nameError);
    result.set("cArray", nameError.empty() ? cArraySource(output, arrayName, range.first) : std::string());
    result.set("commands", fontCommands(conversion));
    return result;
}

// trivolta run on the arguments of `line`; its console text is what the page
// collected from standard output meanwhile.
val runTrivolta(const std::string& line)
{
    const TableRun run = runTableLine(line);
    val result = val::object();
    result.set("lineError", run.lineError);
    result.set("status", run.status);
    result.set("causes", stringList(statusCauses(run.status)));
    if (run.leftFile) {
        result.set("fileName", run.fileName);
        result.set("file", bytesValue(run.fileBytes.data(), run.fileBytes.size()));
        result.set("table", bytesValue(run.table));
        val pins = val::array();
        for (unsigned pin : run.pins)
            pins.call<void>("push", pin);
        result.set("pins", pins);
    }
    return result;
}

// The fields' values for the arguments of `line`.
val tableFields(const std::string& line)
{
    const TableFields fields = readTableFields(line);
    val result = val::object();
    result.set("error", fields.error);
    result.set("table-pin-a", fields.pinA);
    result.set("table-pin-b", fields.pinB);
    result.set("table-pin-c", fields.pinC);
    result.set("table-period", fields.period);
    result.set("table-shift", fields.shift);
    result.set("table-low", fields.otherBitsLow);
    result.set("table-format", fields.format);
    return result;
}

// `line` with one field's setting changed.
val withTableField(const std::string& line, const std::string& field, const std::string& value)
{
    const LineEdit edit = setTableField(line, field, value);
    val result = val::object();
    result.set("line", edit.line);
    result.set("error", edit.error);
    return result;
}

}  // namespace

EMSCRIPTEN_BINDINGS(firmware_tools_page)
{
    emscripten::function("orientations", &orientations);
    emscripten::function("systemErrors", &systemErrors);
    emscripten::function("fileSizeRefusal", &fileSizeRefusal);
    emscripten::function("unpackLimit", &unpackLimit);
    emscripten::function("takeFont", &takeFont);
    emscripten::function("sheetShapeError", &sheetShapeError);
    emscripten::function("takeSheet", &takeSheet);
    emscripten::function("convertFont", &convertFont);
    emscripten::function("runTrivolta", &runTrivolta);
    emscripten::function("tableFields", &tableFields);
    emscripten::function("withTableField", &withTableField);
}
