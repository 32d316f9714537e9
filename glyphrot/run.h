// One conversion run of glyphrot, from the settings to the written file.
#pragma once

#include "failure.h"
#include "settings.h"

// Reads the whole input file, converts it, and replaces the output file
// (which may be the input file) with the result. Returns Failure::None when
// the output was written and put in place whole.
Failure convertFile(const ConverterSettings& settings);
