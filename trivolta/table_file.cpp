#include "table_file.h"

#include "replace.h"

#include <cstdio>

namespace {

// Appends one printf conversion of `value`; every format used here fits.
void appendFormatted(std::string& text, const char* format, unsigned value)
{
    char buffer[16];
    int length = std::snprintf(buffer, sizeof buffer, format, value);
    text.append(buffer, static_cast<std::size_t>(length));
}

// Length of the UTF-8 sequence at `at` that a terminal shows as a character,
// or 0 for a control character (C0, DEL, C1) or a byte that is no UTF-8.
std::size_t printableLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(at);
    if (lead < 0x20 || lead == 0x7F)
        return 0;
    if (lead < 0x80)
        return 1;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    if (lead == 0xC2 && byte(at + 1) < 0xA0)
        return 0;  // U+0080 to U+009F, the C1 controls
    return length;
}

// The name as it stands when every byte of it prints as itself; otherwise
// quoted for a POSIX shell with the other bytes escaped, 'a'$'\033''b', as
// GNU tools show such names, so that a name cannot drive the terminal.
std::string printableName(const std::string& name)
{
    static const char named[] = "\\a\\b\\t\\n\\v\\f\\r";  // bytes 7 to 13
    std::string quoted;
    bool plain = true;
    bool inEscapes = false;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = printableLength(name, at);
        if (quoted.empty() || (length == 0) != inEscapes)
            quoted += quoted.empty() ? (length == 0 ? "$'" : "'") : (length == 0 ? "'$'" : "''");
        inEscapes = length == 0;
        plain = plain && !inEscapes;
        if (inEscapes) {
            const auto byte = static_cast<unsigned char>(name[at++]);
            char octal[8];
            (void)std::snprintf(octal, sizeof octal, "\\%03o", byte);
            quoted +=
                byte >= 7 && byte <= 13 ? std::string(named + std::size_t{2} * (byte - 7), 2) : std::string(octal);
        } else {
            quoted += name[at] == '\'' ? std::string("'\\''") : name.substr(at, length);
            at += length;
        }
    }
    return plain ? name : quoted + "'";
}

unsigned reportFailure(std::string& messages, const char* what, const std::string& fileName, Result error)
{
    messages +=
        std::string("Error - can not ") + what + " output file " + printableName(fileName) + " (" + error.text() + ")";
    return ErrorOutput;
}

}  // namespace

void writeCTable(std::string& text, const std::vector<std::uint8_t>& table)
{
    text += "code const uchar PhaseTable [";
    appendFormatted(text, "%d", static_cast<unsigned>(table.size()));
    text += "] =\r\n  {";
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i % 8 == 0) {
            text += "\r\n   /* ";
            appendFormatted(text, "%#x", static_cast<unsigned>(i));
            text += " */";
        }
        appendFormatted(text, "%#.2x", table[i]);
        if (i + 1 != table.size())
            text += ",";
    }
    text += "\r\n  };";
}

void writeAsmTable(std::string& text, const std::vector<std::uint8_t>& table)
{
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i % 8 == 0)
            text += "\r\n\tDB\t";
        appendFormatted(text, "%.2xh", table[i]);
        if (i + 1 != table.size() && i % 8 != 7)
            text += ",";
    }
}

std::string formatTable(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table)
{
    std::string text;
    if (settings.outputFormat == "C")
        writeCTable(text, table);
    if (settings.outputFormat == "A")
        writeAsmTable(text, table);
    return text;
}

unsigned writeTableFile(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table,
                        std::string& messages)
{
    const std::string text = formatTable(settings, table);
    const std::string& fileName = settings.outputFileName;

    // The table is complete in memory, and the output holds all it needs,
    // before the file is touched; the file then changes in one step, or
    // not at all.
    Replacement output;
    if (Result error = output.open(fileName))
        return reportFailure(messages, "open", fileName, error);
    Result error = output.write(text.data(), text.size());
    if (!error)
        error = output.commit();
    return error ? reportFailure(messages, "write", fileName, error) : 0;
}
