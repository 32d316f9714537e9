#include "failure.h"

#include <cstdio>
#include <cstdlib>

const char* failureLine(Failure failure)
{
    switch (failure) {
    case Failure::None:
        return "";
    case Failure::FileNames:
        return "\nerror in input/output file names\n";
    case Failure::NothingToDo:
        return "\nnothing to do!\n";
    case Failure::OpenInput:
        return "\nError open input file\n";
    case Failure::InputLength:
        return "\nerror get input file length\n";
    case Failure::NoMemory:
        return "\nnot enough memory for input file\n";
    case Failure::ReadInput:
        return "\nerror read input file\n";
    case Failure::OpenOutput:
        return "\nError open output file\n";
    case Failure::WriteOutput:
        return "\nerror write output file\n";
    }
    return "";
}

void exitWithFailure(Failure failure)
{
    (void)std::fputs(failureLine(failure), stderr);  // the status reports the failure anyway
    std::exit(1);
}
