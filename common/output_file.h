// Writing an output file so that it is replaced whole or not at all.
//
// A regular file (or a name that does not exist yet) gets its new content in
// a temporary file beside it, which is renamed over it only once everything
// was written, flushed and closed: a run that fails or is killed leaves the
// old file as it was (a killed run may leave the temporary file behind).
// What cannot be replaced that way is written directly, as "wb" would:
// devices, pipes and FIFOs, names of already open files (/dev/stdout,
// /proc/self/fd/N), a file with several hard links, and where the temporary
// file cannot be created or cannot be given the target's owner and group.
// Nothing is synced to disk: the rename protects against a failing program,
// not against power loss.
#pragma once

#include <cstdio>
#include <string>

struct OutputFile {
    std::string name;           // as the user gave it
    std::string targetName;     // the file the rename replaces, links followed
    std::string temporaryName;  // the new content until the rename; empty when writing directly
    std::FILE* stream = nullptr;

    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // An output never finished is discarded: the stream closed, the
    // temporary file removed.
    ~OutputFile();

    bool replacing() const { return !temporaryName.empty(); }
};

// Decides how `name` is written. When it can be replaced, creates the
// temporary file and opens `output.stream` on it; otherwise leaves the stream
// closed and the caller opens the target with openDirectly when it is ready
// to cut it. Returns 0, or the errno of a failure that ends the run.
int prepareOutput(const std::string& name, OutputFile& output);

// Opens the target itself for writing ("wb": created or cut to length 0).
// Returns 0 or the errno of the failure.
int openDirectly(OutputFile& output);

// Which step of finishing an output failed.
enum class OutputStep { Write, Close };

// Flushes and closes the stream and, when replacing, renames the temporary
// file over the target. On failure the temporary file is removed, and
// `failedStep` and `error` (an errno value, 0 when unknown) tell why.
bool finishOutput(OutputFile& output, OutputStep& failedStep, int& error);
