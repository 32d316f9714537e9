// What the converter needs of the operating system beyond standard C++:
// the kind and length of a file, and memory for large inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum class FileKind { Regular, Directory, Other };

// The kind of the open `file` and, for a regular file, its length as the
// file system reports it. False when the system cannot tell.
bool describeOpenFile(std::FILE* file, FileKind& kind, std::uint64_t& length);

// True when the two names lead to one file that is neither a regular file
// nor a folder: a pipe, a FIFO or a device.
bool namesSameSpecialFile(const std::string& first, const std::string& second);

// Memory for the input, at least one byte; nullptr when there is none.
// Large buffers are laid out for huge pages, which cuts the page faults of
// filling them to a few hundred.
std::uint8_t* allocateBuffer(std::size_t size);
void releaseBuffer(std::uint8_t* buffer);
