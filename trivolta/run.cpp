#include "run.h"

#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

#include <string>
#include <vector>

unsigned runGenerator(int argc, const char* const* argv, std::FILE* console)
{
    GeneratorSettings settings;
    if (argc < 2)
        return printUsage(console) ? 0 : ErrorOutput;

    parseCommandLine(argc, argv, settings);

    bool consoleWritten = true;
    const auto print = [console, &consoleWritten](const char* message) {
        consoleWritten = std::fputs(message, console) >= 0 && consoleWritten;
    };
    unsigned errorFlags = validateSettings(settings, print);
    // On the console before the output is opened: a message still buffered
    // could otherwise land in an output that is the console (/dev/stdout).
    consoleWritten = std::fflush(console) == 0 && consoleWritten;
    if (!consoleWritten)
        errorFlags |= ErrorOutput;
    if ((errorFlags & ~ErrorOutput) != 0)
        return errorFlags;

    const std::vector<std::uint8_t> table = computePhaseTable(settings);
    std::string failure;
    errorFlags |= writeTableFile(settings, table, failure);
    if (!failure.empty())
        print(failure.c_str());
    return consoleWritten ? errorFlags : errorFlags | ErrorOutput;
}
