#include "table_file.h"

#include "output_file.h"
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

    // The table is complete in memory before the file is touched; the file
    // then changes in one step, or not at all.
    OutputFile output;
    int error = prepareOutput(fileName, output);
    if (error == 0 && !output.replacing())
        error = openDirectly(output);
    if (error != 0)
        return reportFailure(messages, "open", fileName, error);

    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), output.stream) != text.size())
        return reportFailure(messages, "write", fileName, errno);
    OutputStep failedStep = OutputStep::Write;
    if (!finishOutput(output, failedStep, error))
        return reportFailure(messages, failedStep == OutputStep::Write ? "write" : "close", fileName, error);
    return 0;
}
