// Writing an output file so that it ends as the shell's ">" would leave it
// with the new content, or byte for byte as it was.
//
// The system opens the name (without cutting it) and decides what may be
// written: its permissions, read-only mounts, immutable files and its rules
// for links and files planted in sticky folders all apply as they would to
// ">". Then:
// - a regular file with one link gets its new content in a temporary file in
//   its own folder, which is given, before its first byte, what ">" would
//   leave on the file (owner, group, extended attributes with the ACL, inode
//   flags, mode bits, set-id bits only where the system keeps them for this
//   writer), and is then put in its place, provided the name still leads to
//   the file that was opened; where the system has unnamed temporary files,
//   that file has no name until it is whole, so a killed run leaves nothing;
// - a name that does not exist yet is created the same way, with what the
//   system gives a new file, and only while the name is still free;
// - a name of a descriptor the caller handed the program (/dev/stdout,
//   /dev/fd/N, /proc/self/fd/N, or a link to one) is written through that
//   descriptor, from where it stands; a descriptor the caller did not hand
//   over is not open, whatever the program has opened under that number;
// - a device, pipe or FIFO, a file with several hard links, a file whose
//   folder takes no new file or whose attributes a new file cannot be given
//   is written directly: from its start, over what it held, and cut to the
//   new length at the end. Where the rename is refused (a mount point, an
//   append-only folder) the finished content is copied over the file in the
//   same way. Either way the space is held first where the system can hold
//   it, so that a full file system fails before any byte changes.
// Any other failure ends the run with the file untouched. Nothing is synced
// to disk: the rename protects against a failing program, not power loss.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Notes which descriptors the caller handed the program; call it first in
// main, before anything is opened. A descriptor name is written through
// only when its descriptor is one of those.
void noteCallerDescriptors();

// The failure of a run whose target changed meanwhile: another program
// replaced, removed or linked it, or wrote to it. Not an errno value.
constexpr int ErrorTargetChanged = -1;

// The reason a failure gives: strerror, or the text of ErrorTargetChanged.
std::string outputErrorText(int error);

// Which step of committing an output failed.
enum class OutputStep { Write, Close };

struct OutputSystem;
struct OutputSystemRelease {
    void operator()(OutputSystem* system) const;
};

// One output: open acquires everything the run will need, write hands it
// the new content, commit puts it in place. An output that is never
// committed is discarded: the target is as it was (unless it is written
// directly, and a write already reached it), and nothing is left beside it.
// Every function that returns int gives 0 or an errno value (or
// ErrorTargetChanged).
class OutputFile {
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Decides how `name` is written and acquires every descriptor and
    // buffer for it; nothing is cut, created or changed yet.
    int open(const std::string& name);

    // True when the writes go to the target itself: a caller that reads
    // from the target (an in-place conversion) must hold all of it first.
    bool writesTarget() const;

    // Holds the space of `length` bytes on the target's file system for an
    // output written directly, so that a full file system fails before the
    // first byte changes. Does nothing for the other ways.
    int reserve(std::uint64_t length);

    int write(const void* bytes, std::size_t size);

    // Puts the new content in the target's place, or cuts a target written
    // directly to its new length. On failure `failedStep` tells which step.
    int commit(OutputStep& failedStep);

private:
    enum class Way {
        Closed,
        Replace,     // a temporary file put in place of the existing target
        Create,      // a temporary file that becomes the new target
        Direct,      // the target itself, written over from its start
        Descriptor,  // a descriptor of the caller's, written where it stands
    };
    Way way_ = Way::Closed;
    std::unique_ptr<OutputSystem, OutputSystemRelease> system_;
};
