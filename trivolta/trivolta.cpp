// trivolta: writes a table of port bytes for three square waves, phases A,
// B and C, as a C array or as assembler DB lines.
#include "exit_status.h"
#include "platform.h"
#include "replace.h"
#include "run.h"

#include <cstdio>
#include <new>

int main(int argc, char** argv)
{
    if (!initFramework()) {
        (void)std::fputs("Fatal Error: MFC initialization failed\n", stdout);  // the status is 1 either way
        return 1;
    }
    unsigned status = 0;
    try {
        status = runGenerator(commandLine(argc, argv), stdout);
    } catch (const std::bad_alloc&) {
        (void)std::fputs("Error - not enough memory for the table", stdout);  // the status says it too
        status = ErrorOutput;
    }
    // The console's one check: a message or the usage text lost on it is a
    // failed run too.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        status |= ErrorOutput;
    return static_cast<int>(status);
}
