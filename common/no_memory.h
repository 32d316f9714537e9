// When every byte of memory is taken, the C++ runtime cannot allocate even
// the std::bad_alloc it is to throw, and ends the run through
// std::terminate with no exception active: a crash where the programs
// report "not enough memory". This turns that end into their report.
#pragma once

#include <cstdio>

// From now on, std::terminate with no exception active writes `message` to
// `stream`, flushes it and ends the run with `status`. Any other reason to
// terminate keeps the runtime's own report.
void reportNoMemoryAtTerminate(const char* message, std::FILE* stream, int status);
