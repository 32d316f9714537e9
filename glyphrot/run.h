// One conversion run of glyphrot, from the settings to the written file.
#pragma once

#include "settings.h"

#include <string>

// Reads the whole input file, closes it, then writes the converted glyphs to
// the output file (which may be the input file). Returns the failure
// message, or "" when the output was written and closed whole.
std::string convertFile(const ConverterSettings& settings);

// Prints "\n<message>\n" on standard error and ends the process with `status`.
[[noreturn]] void exitWithMessage(const std::string& message, int status);
