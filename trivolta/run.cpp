#include "run.h"

#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

#include <string>
#include <vector>

namespace {

unsigned printMessages(const std::string& messages, std::FILE* console)
{
    if (messages.empty())
        return 0;
    return std::fwrite(messages.data(), 1, messages.size(), console) == messages.size() ? 0 : ErrorOutput;
}

}  // namespace

unsigned runGenerator(int argc, const char* const* argv, std::FILE* console)
{
    GeneratorSettings settings;
    if (argc < 2)
        return printUsage(console) ? 0 : ErrorOutput;

    parseCommandLine(argc, argv, settings);

    std::string messages;
    unsigned errorFlags = validateSettings(settings, messages);
    errorFlags |= printMessages(messages, console);
    if ((errorFlags & ~ErrorOutput) != 0)
        return errorFlags;

    const std::vector<std::uint8_t> table = computePhaseTable(settings);
    messages.clear();
    errorFlags |= writeTableFile(settings, table, messages);
    errorFlags |= printMessages(messages, console);
    return errorFlags;
}
