// How a run of glyphrot ends: converted, or one failure with its message.
#pragma once

enum class Failure {
    None,
    FileNames,    // a third file name
    NothingToDo,  // neither -r nor -m
    OpenInput,
    InputLength,
    NoMemory,
    ReadInput,
    OpenOutput,
    WriteOutput,
};

// The failure's message as it is printed, between two line feeds; "" for
// None.
const char* failureLine(Failure failure);

// Prints the failure's message on standard error and ends the process with
// status 1.
[[noreturn]] void exitWithFailure(Failure failure);
