#include "run.h"

#include "glyph_cell.h"
#include "output_file.h"
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// Whole cells in every piece but the last; large enough that the reads and
// writes go to the system in few calls, small enough to stay in the
// processor's cache between the read, the transform and the write (256 KiB
// ran 5 to 10 % faster than 1 MiB in the bench).
constexpr std::size_t pieceSize = std::size_t{1} << 18;

// Memory of allocateBuffer's.
struct Buffer {
    std::uint8_t* bytes = nullptr;
    std::size_t size = 0;

    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { releaseBuffer(bytes); }
};

struct CloseInput {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }  // read-only: nothing is lost
};

// Where the bytes to convert come from: the open file, read a piece at a
// time, or the whole input, read into memory before the target is written.
struct Input {
    std::unique_ptr<std::FILE, CloseInput> file;
    FileKind kind = FileKind::Other;
    std::uint64_t remaining = 0;  // of a regular file: what its length said
    bool heldWhole = false;
    Buffer whole;
    std::size_t taken = 0;  // of the whole input
};

// A pipe or device has no length to ask for: read it to its end, growing
// the buffer as it fills.
Failure readToEnd(std::FILE* in, Buffer& whole)
{
    std::size_t capacity = std::size_t{1} << 16;
    whole.bytes = allocateBuffer(capacity);
    if (whole.bytes == nullptr)
        return Failure::NoMemory;
    for (;;) {
        whole.size += std::fread(whole.bytes + whole.size, 1, capacity - whole.size, in);
        if (whole.size < capacity)
            break;
        std::uint8_t* larger =
            capacity <= std::numeric_limits<std::size_t>::max() / 2 ? allocateBuffer(capacity * 2) : nullptr;
        if (larger == nullptr)
            return Failure::NoMemory;
        std::memcpy(larger, whole.bytes, whole.size);
        releaseBuffer(whole.bytes);
        whole.bytes = larger;
        capacity *= 2;
    }
    return std::ferror(in) ? Failure::ReadInput : Failure::None;
}

Failure readWhole(Input& input)
{
    std::FILE* in = input.file.get();
    input.heldWhole = true;
    if (input.kind != FileKind::Regular)
        return readToEnd(in, input.whole);
    if (input.remaining > std::numeric_limits<std::size_t>::max())
        return Failure::NoMemory;
    input.whole.size = static_cast<std::size_t>(input.remaining);
    input.whole.bytes = allocateBuffer(input.whole.size);
    if (input.whole.bytes == nullptr)
        return Failure::NoMemory;
    if (std::fread(input.whole.bytes, 1, input.whole.size, in) != input.whole.size)
        return Failure::ReadInput;
    return Failure::None;
}

// The next piece of the input in `bytes` and `size`; `last` after the end.
// A regular file gives exactly the length reported at the start.
Failure nextPiece(Input& input, Buffer& piece, std::uint8_t*& bytes, std::size_t& size, bool& last)
{
    if (input.heldWhole) {
        bytes = input.whole.bytes + input.taken;
        size = std::min(pieceSize, input.whole.size - input.taken);
        input.taken += size;
        last = input.taken == input.whole.size;
        return Failure::None;
    }
    const bool regular = input.kind == FileKind::Regular;
    const std::size_t wanted =
        regular ? static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize, input.remaining)) : pieceSize;
    bytes = piece.bytes;
    size = wanted == 0 ? 0 : std::fread(piece.bytes, 1, wanted, input.file.get());
    if (size != wanted && (regular || std::ferror(input.file.get())))
        return Failure::ReadInput;  // shortened while it was read
    input.remaining -= regular ? size : 0;
    last = size < wanted || (regular && input.remaining == 0);
    return Failure::None;
}

// Reads, converts and writes the input, one piece after the other.
Failure convertGlyphs(Input& input, const ConverterSettings& settings, Buffer& piece, OutputFile& output)
{
    for (bool last = false; !last;) {
        std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
        if (Failure failure = nextPiece(input, piece, bytes, size, last); failure != Failure::None)
            return failure;
        transformGlyphs(bytes, bytes, size, settings.rotate, settings.mirror);
        if (output.write(bytes, size) != 0)
            return Failure::WriteOutput;
    }
    return Failure::None;
}

}  // namespace

Failure convertFile(const ConverterSettings& settings)
{
    // A pipe or FIFO cannot be rewritten in place: reading it empties it,
    // and opening it to write would wait for a reader that never comes.
    if (namesSameSpecialFile(settings.inputFileName, settings.outputFileName))
        return Failure::OpenOutput;

    Input input;
    input.file.reset(std::fopen(settings.inputFileName.c_str(), "rb"));
    if (input.file == nullptr)
        return errno == ENOMEM ? Failure::NoMemory : Failure::OpenInput;
    if (!describeOpenFile(input.file.get(), input.kind, input.remaining))
        return Failure::InputLength;
    if (input.kind == FileKind::Directory)
        return Failure::OpenInput;

    // Everything the run needs is in hand before the first byte is written:
    // the output's descriptors, and the whole input where the target itself
    // is written, since the target may be the input.
    OutputFile output;
    if (output.open(settings.outputFileName) != 0)
        return Failure::OpenOutput;
    Buffer piece;
    if (output.writesTarget()) {
        if (Failure failure = readWhole(input); failure != Failure::None)
            return failure;
        input.file.reset();
        if (output.reserve(input.whole.size) != 0)
            return Failure::WriteOutput;
    } else {
        piece.bytes = allocateBuffer(pieceSize);
        if (piece.bytes == nullptr)
            return Failure::NoMemory;
    }
    if (Failure failure = convertGlyphs(input, settings, piece, output); failure != Failure::None)
        return failure;
    // Closed before the output is put in place: some systems do not replace
    // a file that is open.
    input.file.reset();
    OutputStep failedStep = OutputStep::Write;
    return output.commit(failedStep) == 0 ? Failure::None : Failure::WriteOutput;
}
