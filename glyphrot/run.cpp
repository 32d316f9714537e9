#include "run.h"

#include "glyph_cell.h"
#include "replace.h"

#include <cerrno>
#include <vector>

// Whole cells; one buffer of this size, used again for each piece, is read,
// converted and written as dd would copy: touching few pages of memory is
// what makes a large file fast. A smaller input takes a buffer of its size.
static constexpr std::size_t pieceSize = std::size_t{1} << 20;

Failure convertFile(const ConverterSettings& settings)
{
    // A pipe or FIFO cannot be rewritten in place: reading it empties it,
    // and opening it to write would wait for a reader that never comes.
    if (namesSameSpecialFile(settings.inputFileName, settings.outputFileName))
        return Failure::OpenOutput;
    InputFile input;
    if (Result error = input.open(settings.inputFileName))
        return error.error() == ENOMEM ? Failure::NoMemory : Failure::OpenInput;
    if (Result error = input.inspect())
        return error.error() == EISDIR ? Failure::OpenInput : Failure::InputLength;

    // In place, the name must still lead to the file that is read, as it was.
    const bool inPlace = settings.outputFileName == settings.inputFileName;
    Replacement output;
    if (Result error = output.open(settings.outputFileName, inPlace ? &input.state() : nullptr))
        return error.error() == Result::changedMeanwhile ? Failure::WriteOutput : Failure::OpenOutput;

    // Where the target itself is written it may be the input: all of it is
    // read before the first byte is written, and handed over in one write.
    const bool whole = output.writesTarget();
    const std::uint64_t length = input.state().length;  // 0 for a pipe
    const std::size_t piece = length > 0 && length < pieceSize ? static_cast<std::size_t>(length) + 1 : pieceSize;
    std::vector<std::uint8_t> bytes(piece);
    std::size_t held = 0;
    for (std::size_t got = piece; got == piece;) {
        if (held + piece > bytes.size())
            bytes.resize(held + piece);
        if (input.read(bytes.data() + held, piece, got))
            return Failure::ReadInput;
        held += got;
        if (whole && got == piece)
            continue;
        transformGlyphs(bytes.data(), held, settings.rotate, settings.mirror);
        if (output.write(bytes.data(), held))
            return Failure::WriteOutput;
        held = 0;
    }
    return output.commit() ? Failure::WriteOutput : Failure::None;
}
