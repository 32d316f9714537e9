// Writing an output file so that it is replaced whole or not at all, and
// so that the result is what "wb" would have given, with the new content.
//
// The system opens the name (without cutting it) and decides what may be
// written: its permissions, read-only mounts, immutable files and its rules
// for links and files planted in sticky folders all apply as they would to
// "wb". Then:
// - a regular file with one link gets its new content in a temporary file in
//   its own folder, which is given the file's owner, group, extended
//   attributes (the ACL among them) and mode bits once it is whole, and is
//   then renamed over it; where the system has unnamed temporary files, that
//   file has no name until it is whole, so a killed run leaves nothing behind;
// - a name that does not exist yet is created the same way, with what the
//   system gives a new file (the folder's default ACL, or 0666 less the umask);
// - a name of a descriptor this process already has (/dev/stdout, /dev/fd/N,
//   /proc/self/fd/N) is written through that descriptor, from where it stands;
// - a device, pipe or FIFO, a file with several hard links, a file whose
//   folder takes no new file (permission, read-only) or whose owner or
//   attributes cannot be given to a new file is written directly, as "wb"
//   would. Where the rename is refused (a mount point, an append-only folder)
//   the finished content is written over the file and the temporary file
//   dropped.
// Any other failure ends the run with the file untouched. Nothing is synced
// to disk: the rename protects against a failing program, not power loss.
#pragma once

#include <cstdio>
#include <string>

// How the output is written; chosen by prepareOutput.
enum class OutputWay {
    Undecided,
    Replace,     // a temporary file renamed over the existing target
    Create,      // a temporary file that becomes the new target
    Direct,      // the target itself, cut when it is opened
    Descriptor,  // a descriptor this process has, written where it stands
};

// What the platform holds open for an output: descriptors where the system
// has them, names where it does not.
struct OutputHandles {
    int target = -1;            // the target, open for writing, not cut
    int folder = -1;            // the target's folder
    int temporary = -1;         // the new content, until it is published
    std::string name;           // as the user gave it
    std::string targetBase;     // the target's name within its folder
    std::string folderName;     // the folder's name, "" for the current one
    std::string temporaryName;  // name of a named temporary file, else ""
    bool appendOnlyFolder = false;
};

struct OutputFile {
    OutputWay way = OutputWay::Undecided;
    OutputHandles handles;
    std::FILE* stream = nullptr;

    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // An output never finished is discarded: the stream closed, the
    // temporary file dropped, the target as it was.
    ~OutputFile();

    bool replacing() const { return way == OutputWay::Replace || way == OutputWay::Create; }
};

// Decides how `name` is written. When it is replaced through a temporary
// file or written through a descriptor, opens `output.stream`; otherwise
// leaves it closed, and the caller opens the target with openDirectly when
// it is ready to cut it. Returns 0, or the errno of a failure that ends the
// run, with nothing created or changed.
int prepareOutput(const std::string& name, OutputFile& output);

// Opens the target itself for writing, cut to length 0 ("wb"). Returns 0 or
// the errno of the failure.
int openDirectly(OutputFile& output);

// Which step of finishing an output failed.
enum class OutputStep { Write, Close };

// Flushes and closes the stream and, when replacing, gives the temporary
// file the target's attributes and puts it in the target's place. On failure
// the temporary file is dropped, and `failedStep` and `error` (an errno
// value, 0 when unknown) tell why.
bool finishOutput(OutputFile& output, OutputStep& failedStep, int& error);
