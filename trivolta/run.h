// One run of the generator after start-up.
#pragma once

#include <cstdio>

// Sets the defaults, reads the command line, validates, computes and writes
// the table. Texts for the user go to `console`; a text that did not reach
// it shows in ferror(console), for the caller to check. Returns the bits of
// the failed checks (exit_status.h): the settings' checks, or else
// ErrorOutput when the table did not reach its file.
unsigned runGenerator(int argc, const char* const* argv, std::FILE* console);
