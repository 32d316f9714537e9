#include "run.h"

#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

#include <string>

unsigned runGenerator(int argc, const char* const* argv, std::FILE* console)
{
    if (argc < 2) {
        printUsage(console);
        return 0;
    }
    GeneratorSettings settings;
    parseCommandLine(argc, argv, settings);

    const auto print = [console](const char* message) { (void)std::fputs(message, console); };
    const unsigned failedChecks = validateSettings(settings, print);
    // On the console before the output is opened: a message still buffered
    // could otherwise land in an output that is the console (/dev/stdout).
    (void)std::fflush(console);
    if (failedChecks != 0)
        return failedChecks;

    std::string failure;
    const unsigned outputFailed = writeTableFile(settings, computePhaseTable(settings), failure);
    print(failure.c_str());
    return outputFailed;
}
