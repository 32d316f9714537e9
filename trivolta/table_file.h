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

// The whole file content for settings.outputFormat ("C" or "A"; anything
// else gives an empty file).
std::string formatTable(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table);

// Replaces settings.outputFileName whole with the table (see replace.h).
// Returns 0, or ErrorOutput after appending a message that names the file
// and the reason when it could not be opened, or written and closed whole; the
// file is then as it was, unless it is one that is written directly.
unsigned writeTableFile(const GeneratorSettings& settings, const std::vector<std::uint8_t>& table,
                        std::string& messages);
