// The command line as the user typed it, in UTF-8, program name first.
#pragma once

#include <string>
#include <vector>

// argv itself where that is what the system passes; on Windows the wide
// arguments the C runtime parsed, so that a name outside the ANSI code page
// arrives whole.
std::vector<std::string> typedArguments(int argc, char** argv);
