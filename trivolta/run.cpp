#include "run.h"

#include "phase_table.h"
#include "settings.h"
#include "table_file.h"

// Plainly "trivolta": the same text wherever it runs, trivolta.exe included.
static const char help[] = "Usage: trivolta [-Ai] [-Bj] [-Ck] [-Pn] [-Sm] [-OCfile|-OAfile] [-Ulevel] [-mS]\n"
                           "       trivolta --help | -h | --version    this text, or the version\n"
                           "Writes one cycle of three square waves, phases A, B and C, as a table of port\n"
                           "bytes. Each option is one argument, its value attached: -P48, not -P 48.\n"
                           "  -Ai -Bj -Ck  bit numbers of phases A, B and C, 8 or more for none (0, 1, 2)\n"
                           "  -Pn          steps in one cycle, the table's length: even, >= 3 x shift (42)\n"
                           "  -Sm          steps from A to B and from B to C (14)\n"
                           "  -OCfile      a C array named PhaseTable (the default format, in trivolta.c)\n"
                           "  -OAfile      assembler DB lines (in trivolta.c unless a file is named)\n"
                           "  -U0          the bits that carry no phase are 0 (1 by default)\n"
                           "  -mS          accepted; the table stays a square-wave table\n"
                           "Examples:\n"
                           "  trivolta -P48 -S16 -OAtable.asm      48 steps as six DB lines in table.asm\n"
                           "  trivolta -A4 -B5 -C6 -U0 -OCphase.c  phases on bits 4 to 6, other bits low\n"
                           "Exit status: 0 when the table was written, else the sum of 1 (two phases on one\n"
                           "bit), 2 (odd period), 4 (shift too big), 8 (the file not written whole).\n"
                           "Manual: man trivolta (on Windows trivolta.txt), and the README.\n";

unsigned runGenerator(const std::vector<std::string>& arguments, std::FILE* console)
{
    // A request for help writes no table: the file of that name may be the
    // user's own work.
    if (arguments.size() < 2) {
        printUsage(console);
        return 0;
    }
    const std::string only = arguments.size() == 2 ? arguments[1] : "";
    if (only == "--help" || only == "-h" || only == "--version") {
        (void)std::fputs(only == "--version" ? "trivolta " FIRMWARE_TOOLS_VERSION "\n" : help, console);
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
