// glyphrot: rotates, mirrors, or both, every 8x8 glyph of a
// character-generator file, in place or into a second file.
#include "no_memory.h"
#include "run.h"
#include "settings.h"

#include <cstdio>
#include <new>

namespace {
// Printed without a string of its own: there may be no memory for one.
const char noMemory[] = "\nnot enough memory for input file\n";
}  // namespace

int main(int argc, char** argv)
{
    reportNoMemoryAtTerminate(noMemory, stderr, 1);
    try {
        ConverterSettings settings;
        std::string failure = readCommandLine(argc, argv, settings);
        // Whoever asked for nothing (no option, --help, a name alone) is shown how.
        if (failure == "nothing to do!")
            (void)printUsage(stdout);  // the status is 1 either way
        if (failure.empty())
            failure = convertFile(settings);
        if (!failure.empty())
            exitWithMessage(failure, 1);
    } catch (const std::bad_alloc&) {
        (void)std::fputs(noMemory, stderr);  // the status says it too
        return 1;
    }
    return 0;
}
