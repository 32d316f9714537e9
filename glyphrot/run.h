// One conversion run of glyphrot, from the settings to the written file.
#pragma once

#include "settings.h"

#include <string>

// Converts the input file into the output file (which may be the input
// file): piece by piece into a file that replaces the output whole, or,
// where the output must be written directly, by reading the whole input
// before the output is opened. Returns the failure message, or "" when the
// output was written and closed whole.
std::string convertFile(const ConverterSettings& settings);

// Prints "\n<message>\n" on standard error and ends the process with `status`.
[[noreturn]] void exitWithMessage(const std::string& message, int status);
