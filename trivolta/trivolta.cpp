// trivolta: writes a table of port bytes for three square waves, phases A,
// B and C, as a C array or as assembler DB lines.
#include "arguments.h"
#include "exit_status.h"
#include "run.h"

#include <cstdio>
#include <cstdlib>
#include <new>

int main(int argc, char** argv)
{
    // Out of memory, even for the exception that would report it: said at
    // once, before anything of the output has changed.
    std::set_new_handler([] {
        (void)std::fputs("Error - not enough memory for the table", stdout);
        std::exit(static_cast<int>(ErrorOutput));  // the status says it too
    });
    unsigned status = runGenerator(typedArguments(argc, argv), stdout);
    // The console's one check: a message or the usage text lost on it is a
    // failed run too.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        status |= ErrorOutput;
    return static_cast<int>(status);
}
