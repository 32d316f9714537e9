#include "table_file.h"

#include "phase_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Appends one printf conversion of `value`; every format used here fits.
void appendFormatted(std::string& text, const char* format, unsigned value)
{
    char buffer[16];
    int length = std::snprintf(buffer, sizeof buffer, format, value);
    text.append(buffer, static_cast<std::size_t>(length));
}

unsigned reportFailure(std::string& messages, const char* what, const std::string& fileName, int error)
{
    messages += "Error - can not ";
    messages += what;
    messages += " output file ";
    messages += fileName;
    messages += " (";
    messages += error != 0 ? std::strerror(error) : "write failed";
    messages += ")";
    return ErrorOutput;
}

}  // namespace

void writeCTable(std::string& text, const std::vector<std::uint8_t>& table)
{
    text += "code const uchar PhaseTable [";
    appendFormatted(text, "%d", static_cast<unsigned>(table.size()));
    text += "] =\r\n";
    text += "  {";
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i % 8 == 0) {
            text += "\r\n   ";
            text += "/* ";
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

    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr)
        return reportFailure(messages, "open", fileName, errno);

    errno = 0;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && written;
    int writeError = errno;
    // Close even after a failed write, so the stream is never leaked.
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!written)
        return reportFailure(messages, "write", fileName, writeError);
    if (!closed)
        return reportFailure(messages, "close", fileName, errno);
    return 0;
}
