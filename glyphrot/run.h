// One conversion run of glyphrot, from the settings to the written file.
#pragma once

#include "failure.h"
#include "settings.h"

// Converts the input file into the output file (which may be the input
// file). Where the output is a file that replaces the target whole, the
// input is read, converted and written a piece at a time; where the target
// itself is written, the whole input is read first, then converted and
// written the same way. Returns Failure::None when the output was written
// and put in place whole.
Failure convertFile(const ConverterSettings& settings);
