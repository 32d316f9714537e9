#include "failure.h"

#include <cstdio>
#include <cstdlib>

void exitWithFailure(Failure failure)
{
    static const char* const messages[] = {
        // In the order of the enum.
        "",
        "error in input/output file names",
        "nothing to do!",
        "Error open input file",
        "error get input file length",
        "not enough memory for input file",
        "error read input file",
        "Error open output file",
        "error write output file",
    };
    (void)std::fprintf(stderr, "\n%s\n", messages[static_cast<int>(failure)]);  // the status says it anyway
    std::exit(1);
}
