// The converter's settings and the command line that fills them.
#pragma once

#include "failure.h"

#include <cstdio>
#include <string>
#include <vector>

struct ConverterSettings {
    bool rotate = false;
    bool mirror = false;
    std::string inputFileName;   // empty: not given yet
    std::string outputFileName;  // empty: not given yet; then the input name
};

// Which arguments that begin with '/' are options. On Windows every one is;
// where absolute paths begin with '/', only the two-character ones ("/r").
enum class SlashRule { TwoCharactersOnly, Always };

#ifdef _WIN32
constexpr SlashRule platformSlashRule = SlashRule::Always;
#else
constexpr SlashRule platformSlashRule = SlashRule::TwoCharactersOnly;
#endif

// Applies the arguments after the program's name to `settings`, then
// defaults the output name to the input name. Returns Failure::None when
// there is work to do.
Failure readCommandLine(const std::vector<std::string>& arguments, ConverterSettings& settings,
                        SlashRule slashRule = platformSlashRule);

// The usage text, four lines each opened by a line feed, and a closing line
// feed; shown whenever a run has nothing to do.
bool printUsage(std::FILE* out);

// The help that --help or -h alone prints: options, examples, exit status.
extern const char helpText[];
