#include "settings.h"

static bool isOption(const std::string& argument, SlashRule slashRule)
{
    return !argument.empty() &&
           (argument[0] == '-' || (argument[0] == '/' && (slashRule == SlashRule::Always || argument.size() == 2)));
}

Failure readCommandLine(const std::vector<std::string>& arguments, ConverterSettings& settings, SlashRule slashRule)
{
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (isOption(argument, slashRule)) {
            // Only the second character counts; anything else is ignored.
            const char letter = argument.size() > 1 ? argument[1] : '\0';
            if (letter == 'm' || letter == 'M')
                settings.mirror = true;
            if (letter == 'r' || letter == 'R')
                settings.rotate = true;
        } else if (settings.inputFileName.empty() && settings.outputFileName.empty()) {
            settings.inputFileName = argument;
        } else if (settings.outputFileName.empty()) {
            settings.outputFileName = argument;
        } else {
            return Failure::FileNames;
        }
    }
    if (settings.outputFileName.empty())
        settings.outputFileName = settings.inputFileName;
    if (!settings.mirror && !settings.rotate)
        return Failure::NothingToDo;
    return Failure::None;
}

bool printUsage(std::FILE* out)
{
    return std::fputs("\nConverting 8x8 symbols generator file. Usage:"
                      "\n   glyphrot.exe <-m|-r> <infile> [<outfile>]"
                      "\n-m    mirroring symbols"
                      "\n-r    90-degree rotate symbols\n",
                      out) >= 0;
}
