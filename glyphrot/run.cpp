#include "run.h"

#include "glyph_cell.h"
#include "platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

const char noMemory[] = "not enough memory for input file";

// The whole input: one buffer the file was read into, or a read-only
// mapping of the file. Released when the run ends.
struct InputData {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::uint8_t* buffer = nullptr;  // owned; bytes points into it
    bool mapped = false;

    InputData() = default;
    InputData(const InputData&) = delete;
    InputData& operator=(const InputData&) = delete;
    ~InputData()
    {
        if (mapped)
            unmapFile(bytes, size);
        releaseBuffer(buffer);
    }
};

// A pipe or device has no length to ask for: read it to its end, growing
// the buffer as it fills.
std::string readToEnd(std::FILE* in, InputData& input)
{
    std::size_t capacity = std::size_t{1} << 16;
    input.buffer = allocateBuffer(capacity);
    if (input.buffer == nullptr)
        return noMemory;
    for (;;) {
        input.size += std::fread(input.buffer + input.size, 1, capacity - input.size, in);
        if (input.size < capacity)
            break;
        std::uint8_t* larger =
            capacity <= std::numeric_limits<std::size_t>::max() / 2 ? allocateBuffer(capacity * 2) : nullptr;
        if (larger == nullptr)
            return noMemory;
        std::memcpy(larger, input.buffer, input.size);
        releaseBuffer(input.buffer);
        input.buffer = larger;
        capacity *= 2;
    }
    input.bytes = input.buffer;
    return std::ferror(in) ? "error read input file" : "";
}

std::string readInput(std::FILE* in, const std::string& outputFileName, InputData& input)
{
    FileKind kind = FileKind::Other;
    std::uint64_t length = 0;
    if (!describeOpenFile(in, kind, length))
        return "error get input file length";
    if (kind == FileKind::Directory)
        return "Error open input file";
    if (kind != FileKind::Regular)
        return readToEnd(in, input);
    if (length > std::numeric_limits<std::size_t>::max())
        return noMemory;
    input.size = static_cast<std::size_t>(length);

    // Mapping saves copying the file, but is only safe when writing the
    // output cannot cut the input: never in place.
    if (input.size > 0 && !namesOpenFile(outputFileName, in)) {
        input.bytes = mapFile(in, input.size);
        input.mapped = input.bytes != nullptr;
        if (input.mapped)
            return "";
    }
    input.buffer = allocateBuffer(input.size);
    if (input.buffer == nullptr)
        return noMemory;
    input.bytes = input.buffer;
    if (std::fread(input.buffer, 1, input.size, in) != input.size)
        return "error read input file";
    return "";
}

}  // namespace

std::string convertFile(const ConverterSettings& settings)
{
    InputData input;
    std::FILE* in = std::fopen(settings.inputFileName.c_str(), "rb");
    if (in == nullptr)
        return "Error open input file";
    std::string readFailure = readInput(in, settings.outputFileName, input);
    (void)std::fclose(in);  // read-only: nothing is lost if closing fails
    if (!readFailure.empty())
        return readFailure;

    // Only now, with the whole input in hand, may the output cut the file.
    std::FILE* out = std::fopen(settings.outputFileName.c_str(), "wb");
    if (out == nullptr)
        return "Error open output file";
    bool written = convertGlyphs(input.bytes, input.size, settings.rotate, settings.mirror, out);
    written = std::fflush(out) == 0 && written;
    written = std::fclose(out) == 0 && written;
    return written ? "" : "error write output file";
}

void exitWithMessage(const std::string& message, int status)
{
    (void)std::fprintf(stderr, "\n%s\n", message.c_str());  // the status reports the failure anyway
    std::exit(status);
}
