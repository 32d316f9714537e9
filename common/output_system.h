// What replacing an output asks of the operating system, one call a step;
// output_file.cpp decides which steps a run takes. Each platform has its
// own file (output_file-linux.cpp, output_file-win32.cpp), which defines
// OutputSystem, the descriptors and names one output holds.
//
// Functions that return int give 0 or the errno value of a failure, or
// ErrorTargetChanged.
#pragma once

#include "output_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Helpers of both platforms' (output_file.cpp). The folder part of `path`,
// with its last separator ("" for none), and the name after it.
std::string folderPart(const std::string& path, const char* separators);
std::string basePart(const std::string& path, const char* separators);

// A name beside the target that says what it is: ".font.bin.x7Qa2Z". A long
// name is shortened, at a character boundary, to stay within NAME_MAX.
std::string temporaryCandidate(const std::string& base);

// A new, empty OutputSystem for `name`; nullptr when there is no memory.
OutputSystem* newOutputSystem(const std::string& name);

// Whether the name leads to one of the descriptors the caller handed the
// program, open for writing: then `found` is true, and writes go there.
// A name of a descriptor the caller did not hand over fails with EBADF.
int findCallerDescriptor(OutputSystem& system, bool& found);

enum class TargetKind {
    Missing,       // nothing of that name yet
    Regular,       // a regular file with one link
    SeveralLinks,  // a regular file with more than one
    Other,         // a device, pipe, FIFO or socket
};

// Opens the target for writing without cutting it, as ">" would open it
// (the system's checks apply); nothing is opened when it is Missing.
int openTarget(OutputSystem& system, TargetKind& kind);

// Opens the target's folder, in which the temporary file is made and
// renamed. `found` is false when the folder cannot be told for sure.
int openFolder(OutputSystem& system, TargetKind kind, bool& found);

enum class Temporary {
    Created,
    Refused,  // the folder takes no new file, or could never remove it
};

// Creates the temporary file, unnamed where the system can. One for a new
// target gets what the system gives a new file; one for an existing target
// can be read by nobody else until it is given the target's attributes.
int createTemporary(OutputSystem& system, bool forNewFile, Temporary& result);

enum class Attributes {
    Given,
    CannotGive,  // an owner, attribute, flag or mode bit it may not have
};

// Gives the empty temporary file, before its first byte, what ">" leaves on
// the target: owner, group, extended attributes, inode flags, mode bits.
int giveAttributes(OutputSystem& system, Attributes& result);

// Drops the temporary file: the target is written directly instead.
void dropTemporary(OutputSystem& system);

// Creates a missing target that is written directly; it is removed again
// if the output is never committed.
int createTarget(OutputSystem& system);

// Holds `length` bytes of space for the target itself, where the system
// can; the target's content does not change.
int reserveSpace(OutputSystem& system, std::uint64_t length);

// Where the content goes.
enum class WriteTo { Temporary, Target, CallerDescriptor };

int writeBytes(OutputSystem& system, WriteTo to, const void* bytes, std::size_t size);

enum class Placed {
    Done,
    Refused,  // the system does not replace the target by a rename
};

// Puts the finished temporary file in the existing target's place, if the
// name still leads to the file that was opened, unchanged.
int replaceTarget(OutputSystem& system, Placed& result);

// Gives the finished temporary file the target's name, if it is still free.
int publishNewFile(OutputSystem& system);

// Copies the finished temporary file over the target itself, from its start,
// once its space is held, and cuts the target to the new length.
int copyOverTarget(OutputSystem& system);

// Ends a direct write: a regular target is cut where the writes ended, and
// its descriptor closed.
int endDirectWrite(OutputSystem& system, OutputStep& failedStep);

// Marks the output as committed: nothing of it is removed on release.
void keepOutput(OutputSystem& system);
