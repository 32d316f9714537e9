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

// Prints the failure's message on standard error and ends the process with
// status 1.
[[noreturn]] void exitWithFailure(Failure failure);
