// glyphrot: rotates, mirrors, or both, every 8x8 glyph of a
// character-generator file, in place or into a second file.
#include "run.h"
#include "settings.h"

#include <cstdio>

int main(int argc, char** argv)
{
    ConverterSettings settings;
    std::string failure = readCommandLine(argc, argv, settings);
    // Whoever asked for nothing (no option, --help, a name alone) is shown how.
    if (failure == "nothing to do!")
        (void)printUsage(stdout);  // the status is 1 either way
    if (failure.empty())
        failure = convertFile(settings);
    if (!failure.empty())
        exitWithMessage(failure, 1);
    return 0;
}
