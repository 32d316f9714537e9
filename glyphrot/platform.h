// What the converter needs of the operating system beyond standard C++:
// the kind and length of an open file, and memory for large inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum class FileKind { Regular, Directory, Other };

// The kind of the open `file` and, for a regular file, its length as the
// file system reports it. False when the system cannot tell.
bool describeOpenFile(std::FILE* file, FileKind& kind, std::uint64_t& length);

// True when `name` names the same file as the open `file` (so that opening
// `name` for writing would cut the input).
bool namesOpenFile(const std::string& name, std::FILE* file);

// Memory for the input, at least one byte; nullptr when there is none.
// Large buffers are laid out for huge pages, which cuts the page faults of
// filling them to a few hundred.
std::uint8_t* allocateBuffer(std::size_t size);
void releaseBuffer(std::uint8_t* buffer);

// The first `size` bytes of the open regular `file`, mapped read-only, or
// nullptr where mapping is not available; the mapping outlives the stream.
const std::uint8_t* mapFile(std::FILE* file, std::size_t size);
void unmapFile(const std::uint8_t* data, std::size_t size);
