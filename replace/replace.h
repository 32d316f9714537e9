// Replacing a file so that it ends as the shell's ">" would leave it with the
// new content, or byte for byte as it was (doc/replacing.md): a regular file
// through a temporary file beside it, closed before it takes the file's
// name; a descriptor's name (/dev/stdout) through that descriptor; a device,
// pipe or file with several links directly, from its start, cut last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The failure of a run whose target another program replaced, removed,
// linked or wrote meanwhile. Every other failure is an errno value.
constexpr int ChangedMeanwhile = -1;

// strerror, or the text of ChangedMeanwhile.
std::string failureText(int error);

// The file a name led to when it was read, and what tells whether it was
// written since: its length and its times, to the nanosecond where kept.
struct FileState {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::uint64_t length = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    bool operator==(const FileState& other) const
    {
        return device == other.device && file == other.file && length == other.length && modified == other.modified &&
               changed == other.changed;
    }
};

// A file read as "rb" reads it, for a caller that may then replace it.
enum class ReadStep { Open, Length, Read };
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    // 0, or the errno value of the step that failed (EISDIR for a folder).
    int open(const std::string& name);
    // `size` bytes, fewer only at the end: a regular file ends at the length
    // it had when it was opened, anything else where it ends. On a failure
    // `error` is set (EIO for a file cut short meanwhile).
    std::size_t read(std::uint8_t* bytes, std::size_t size);

    int error = 0;
    ReadStep failedStep = ReadStep::Open;
    FileState state;  // of a regular file, as it was opened

private:
    std::intptr_t file_ = -1;  // a descriptor, or a Windows handle
    bool regular_ = false;
    std::uint64_t left_ = 0;  // of a regular file
};

// Both names lead to one pipe, FIFO or device, which cannot be rewritten in place.
bool namesSameSpecialFile(const std::string& first, const std::string& second);

// The arguments as the user typed them, in UTF-8; argv itself where that is
// what the system passes.
std::vector<std::string> commandLine(int argc, char** argv);

struct ReplacementState;  // the descriptors and names one replacement holds

// open acquires everything, write hands over the new content, commit puts it
// in place. A replacement never committed is dropped: the target is as it
// was, and nothing is left beside it. Each returns 0 or a failure.
class Replacement {
public:
    Replacement();
    ~Replacement();

    // Decides how `name` is written for `length` bytes of new content, and
    // holds what that needs; nothing is cut, created or changed yet. With
    // `mustBe`, the name must still lead to that file, unwritten (an
    // in-place run).
    int open(const std::string& name, std::uint64_t length, const FileState* mustBe = nullptr);
    // True when the writes go to the target itself: a caller that reads the
    // target (in place) must hold all of it first.
    bool writesTarget() const;
    int write(const void* bytes, std::size_t size);
    int commit();

private:
    std::unique_ptr<ReplacementState> state_;
};
