// Writing the table as a C array or as assembler DB lines.
#pragma once

#include "exit_status.h"
#include "settings.h"

#include <cstdint>
#include <string>
#include <vector>

// Append the table's text in each format to `text`. Line ends are CR LF;
// there is none after the last line.
void writeCTable(std::string& text, const std::vector<std::uint8_t>& table);
void writeAsmTable(std::string& text, const std::vector<std::uint8_t>& table);

// The file's content for settings.outputFormat: "C", "A", or else empty.
std::string formatTable(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table);

// Replaces settings.outputFileName whole with the table (replace.h): 0, or
// ErrorOutput after appending a message that names the file and the reason.
unsigned writeTableFile(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table,
                        std::string& messages);
