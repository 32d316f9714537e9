#include "run.h"

#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

unsigned runGenerator(const std::vector<std::string>& arguments, std::FILE* console)
{
    // A request for help writes no table: the file of that name may be the
    // user's own work.
    const std::string only = arguments.size() == 2 ? arguments[1] : "";
    if (arguments.size() < 2 || only == "--help" || only == "-h") {
        printUsage(console);
        return 0;
    }
    if (only == "--version") {
        (void)std::fputs("trivolta " FIRMWARE_TOOLS_VERSION "\n", console);
        return 0;
    }
    GeneratorSettings settings;
    parseCommandLine(arguments, settings);

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
