// glyphrot: rotates, mirrors, or both, every 8x8 glyph of a
// character-generator file, in place or into a second file.
#include "failure.h"
#include "no_memory.h"
#include "output_file.h"
#include "run.h"
#include "settings.h"

#include <cstdio>
#include <new>

int main(int argc, char** argv)
{
    noteCallerDescriptors();
    reportNoMemoryAtTerminate(failureLine(Failure::NoMemory), stderr, 1);
    Failure failure = Failure::None;
    try {
        ConverterSettings settings;
        failure = readCommandLine(argc, argv, settings);
        // Whoever asked for nothing (no option, --help, a name alone) is shown how.
        if (failure == Failure::NothingToDo)
            (void)printUsage(stdout);  // the status is 1 either way
        if (failure == Failure::None)
            failure = convertFile(settings);
    } catch (const std::bad_alloc&) {
        failure = Failure::NoMemory;
    }
    if (failure != Failure::None)
        exitWithFailure(failure);
    return 0;
}
