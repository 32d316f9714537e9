// Replacing a file so that it ends as the shell's ">" would leave it with the
// new content, or byte for byte as it was (doc/replacing.md): a regular file
// through a temporary file beside it, closed before it takes the file's
// name; a descriptor's name (/dev/stdout) through that descriptor; a device,
// pipe or file with several links directly, from its start, cut last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

// What every step gives: 0 when it worked, else an errno value, or
// changedMeanwhile for a target that another program replaced, removed,
// linked or wrote meanwhile.
class Result {
public:
    // cppcheck-suppress noExplicitConstructor ; made from errno values as they come
    constexpr Result(int error = 0) : error_(error) {}
    static constexpr int changedMeanwhile = -1;
    explicit operator bool() const { return error_ != 0; }  // true when the step failed
    int error() const { return error_; }
    std::string text() const
    {
        return error_ == changedMeanwhile ? "the file changed meanwhile" : std::strerror(error_);
    }

private:
    int error_;
};

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
        return std::tie(device, file, length, modified, changed) ==
               std::tie(other.device, other.file, other.length, other.modified, other.changed);
    }
};

// A file read as "rb" reads it, for a caller that may then replace it.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    Result open(const std::string& name);
    // Tells what was opened: EISDIR for a folder.
    Result inspect();
    // Up to `size` bytes into `got`, fewer only at the end: a regular file
    // ends at the length it had when it was inspected (EIO when it was cut
    // short meanwhile), anything else where it ends.
    Result read(std::uint8_t* bytes, std::size_t size, std::size_t& got);
    const FileState& state() const { return state_; }  // of a regular file

private:
    std::intptr_t file_ = -1;  // a descriptor, or a Windows handle
    bool regular_ = false;
    std::uint64_t left_ = 0;  // of a regular file
    FileState state_;
};

// Both names lead to one pipe, FIFO or device, which cannot be rewritten in place.
bool namesSameSpecialFile(const std::string& first, const std::string& second);

struct ReplacementState;  // the descriptors and names one replacement holds

// open acquires everything, write hands over the new content, commit puts it
// in place. A replacement never committed is dropped: the target is as it
// was, and nothing is left beside it, also when the run ends by a signal or
// by exit().
class Replacement {
public:
    Replacement();
    ~Replacement();

    // Decides how `name` is written and holds what that needs; nothing is
    // cut, created or changed yet. With `mustBe`, the name must still lead
    // to that file, unwritten (an in-place run).
    Result open(const std::string& name, const FileState* mustBe = nullptr);
    // True when the writes go to the target itself: the caller gives the
    // whole content in one write, and may read the target until then.
    bool writesTarget() const;
    Result write(const void* bytes, std::size_t size);
    Result commit();

private:
    std::unique_ptr<ReplacementState> state_;
};
