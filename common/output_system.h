// What replacing an output asks of the operating system, one call a step;
// output_file.cpp decides which steps a run takes. Each platform has its
// own file (output_file-posix.cpp, output_file-win32.cpp).
//
// Functions that return int give 0 or the errno value of a failure.
#pragma once

#include "output_file.h"

#include <cstdio>
#include <string>

// When `handles.name` names a descriptor this process has open for
// writing, `descriptor` is that descriptor, else -1.
int findNamedDescriptor(const OutputHandles& handles, int& descriptor);

enum class TargetKind {
    Missing,       // nothing of that name yet
    Regular,       // a regular file with one link
    SeveralLinks,  // a regular file with more than one
    Other,         // a device, pipe, FIFO or socket
};

// Opens the target for writing without cutting it, as "wb" would open it
// (the system's checks apply); nothing is opened when it is Missing.
int openTarget(OutputHandles& handles, TargetKind& kind);

// Opens the target's folder, in which the temporary file is made and
// renamed. `found` is false when the folder cannot be told for sure.
int openFolder(OutputHandles& handles, TargetKind kind, bool& found);

enum class Temporary {
    Created,
    Refused,  // the folder takes no new file: permissions, read-only
};

// Creates the temporary file, unnamed where the system can. One for a new
// target gets what the system gives a new file; one for an existing target
// can be read by nobody else until it takes the target's attributes.
int createTemporary(OutputHandles& handles, bool forNewFile, Temporary& result);

enum class Attributes {
    Kept,
    CannotKeep,  // an owner, group or attribute the process may not give it
};

// Gives the finished temporary file the target's owner, group, extended
// attributes and mode bits, set-id bits included.
int keepAttributes(OutputHandles& handles, Attributes& result);

enum class Placed {
    Done,
    Refused,  // the system does not replace the target by a rename
};

// Puts the finished temporary file in the existing target's place.
int replaceTarget(OutputHandles& handles, Placed& result);

// Gives the finished temporary file the target's name, which must still be
// free.
int publishNewFile(OutputHandles& handles);

// Writes the finished temporary file's content over the target itself.
int writeOverTarget(OutputHandles& handles);

// Cuts the open target to length 0, or creates it when it was missing.
int cutOrCreateTarget(OutputHandles& handles);

// A stream of its own on a duplicate of `descriptor`.
std::FILE* streamOnDescriptor(int descriptor);

// Removes the temporary file, if any, and closes everything.
void releaseHandles(OutputHandles& handles);
