// glyphrot: rotates, mirrors, or both, every 8x8 glyph of a
// character-generator file, in place or into a second file.
#include "run.h"
#include "settings.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        printUsage(stdout);  // the run ends with "nothing to do!" below

    ConverterSettings settings;
    std::string failure = readCommandLine(argc, argv, settings);
    if (failure.empty())
        failure = convertFile(settings);
    if (!failure.empty())
        exitWithMessage(failure, 1);
    return 0;
}
