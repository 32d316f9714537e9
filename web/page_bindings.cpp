// What the page's script calls: trivolta's run and the font conversion,
// with their results as JavaScript objects.
#include "c_array.h"
#include "font_commands.h"
#include "font_file.h"
#include "orientations.h"
#include "table_run.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

using emscripten::val;

namespace {

// A copy of the bytes as a Uint8Array.
val bytesValue(const void* data, std::size_t size)
{
    return val(emscripten::typed_memory_view(size, static_cast<const std::uint8_t*>(data))).call<val>("slice");
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

// The font `content` of the file `name`, stored as `from`, converted to `to`.
val convertFont(const std::string& name, const std::string& content, const std::string& from, const std::string& to)
{
    const FontFile font = readFontFile(name, content);
    val result = val::object();
    result.set("message", font.message);
    result.set("input", bytesValue(font.bytes.data(), font.bytes.size()));
    std::string runs;
    std::string displayRuns;
    if (!runsBetween(from, to, runs) || !runsBetween(to, "as-stored", displayRuns)) {
        result.set("error", "no orientation takes " + from + " to " + to);
        return result;
    }
    std::vector<std::uint8_t> output = font.bytes;
    applyRuns(output, runs);
    // As the display shows it: the output taken back to the font as stored.
    std::vector<std::uint8_t> preview = output;
    applyRuns(preview, displayRuns);
    const FontFileNames names = fontFileNames(name, font.fromHeader, to);
    const std::string arrayName = "Font";
    result.set("output", bytesValue(output.data(), output.size()));
    result.set("preview", bytesValue(preview.data(), preview.size()));
    result.set("rawName", names.raw);
    result.set("cName", names.c);
    result.set("cArray", output.empty() ? std::string() : cArraySource(output, arrayName));
    result.set("commands", fontCommands(name, font.fromHeader, from, to, runs, arrayName));
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
    if (run.leftFile) {
        result.set("fileName", run.fileName);
        result.set("file", bytesValue(run.fileBytes.data(), run.fileBytes.size()));
        result.set("table", bytesValue(run.table.data(), run.table.size()));
        val pins = val::array();
        for (unsigned pin : run.pins)
            pins.call<void>("push", pin);
        result.set("pins", pins);
    }
    return result;
}

}  // namespace

EMSCRIPTEN_BINDINGS(firmware_tools_page)
{
    emscripten::function("orientations", &orientations);
    emscripten::function("convertFont", &convertFont);
    emscripten::function("runTrivolta", &runTrivolta);
}
