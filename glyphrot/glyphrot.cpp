// glyphrot: rotates, mirrors, or both, every 8x8 glyph of a
// character-generator file, in place or into a second file.
#include "arguments.h"
#include "failure.h"
#include "run.h"
#include "settings.h"

#include <cstdio>
#include <new>

int main(int argc, char** argv)
{
    // Out of memory, even for the exception that would report it: said at
    // once, before anything of the output has changed.
    std::set_new_handler([] { exitWithFailure(Failure::NoMemory); });
    const std::vector<std::string> arguments = typedArguments(argc, argv);
    if (arguments.size() == 2 && (arguments[1] == "--version" || arguments[1] == "--help" || arguments[1] == "-h")) {
        (void)std::fputs(arguments[1] == "--version" ? "glyphrot " FIRMWARE_TOOLS_VERSION "\n" : helpText, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    ConverterSettings settings;
    Failure failure = readCommandLine(arguments, settings);
    // Whoever asked for nothing (no option, a name alone) is shown how.
    if (failure == Failure::NothingToDo)
        (void)printUsage(stdout);  // the status is 1 either way
    if (failure == Failure::None)
        failure = convertFile(settings);
    if (failure != Failure::None)
        exitWithFailure(failure);
    return 0;
}
