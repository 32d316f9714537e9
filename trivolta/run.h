// One run of the generator after start-up.
#pragma once

#include <cstdio>

// Sets the defaults, reads the command line, validates, computes and writes
// the table. Texts for the user go to `console`. Returns the exit status:
// 0, or the bit set of the failed checks (ErrorPins ... ErrorOutput).
unsigned runGenerator(int argc, const char* const* argv, std::FILE* console);
