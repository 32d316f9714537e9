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

// Plainly "glyphrot": the same text wherever it runs, glyphrot.exe included.
const char helpText[] = "Usage: glyphrot -r|-m [-r|-m] infile [outfile]\n"
                        "       glyphrot --help | -h | --version    this text, or the version\n"
                        "Converts every 8x8 glyph of a raw font file (8 bytes a glyph, row 0 first,\n"
                        "bit 7 leftmost) into outfile, or by default back into infile: same length.\n"
                        "  -r  rotate each glyph a quarter turn counter-clockwise (off by default)\n"
                        "  -m  mirror each glyph top to bottom (off by default)\n"
                        "      With both, each glyph is reflected about its top-left to bottom-right\n"
                        "      diagonal, whatever their order.\n"
                        "Examples:\n"
                        "  glyphrot -r font.bin              rotate every glyph, in place\n"
                        "  glyphrot -m font.bin flipped.bin  flip every glyph into flipped.bin\n"
                        "Exit status: 0 when the output was written whole, else 1 (a message on stderr).\n"
                        "Manual: man glyphrot (on Windows glyphrot.txt), and the README.\n";
