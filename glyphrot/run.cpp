#include "run.h"

#include "glyph_cell.h"
#include "replace.h"

#include <cerrno>
#include <vector>

// Whole cells; one buffer of this size, used again for each piece, is read,
// converted and written as dd would copy: touching few pages of memory is
// what makes a large file fast.
static constexpr std::size_t pieceSize = std::size_t{1} << 20;

Failure convertFile(const ConverterSettings& settings)
{
    // A pipe or FIFO cannot be rewritten in place: reading it empties it,
    // and opening it to write would wait for a reader that never comes.
    if (namesSameSpecialFile(settings.inputFileName, settings.outputFileName))
        return Failure::OpenOutput;
    InputFile input;
    if (int error = input.open(settings.inputFileName))
        return error == ENOMEM                        ? Failure::NoMemory
               : input.failedStep == ReadStep::Length ? Failure::InputLength
                                                      : Failure::OpenInput;

    // In place, the name must still lead to the file that is read, as it was.
    const bool inPlace = settings.outputFileName == settings.inputFileName;
    Replacement output;
    if (int error = output.open(settings.outputFileName, input.state.length, inPlace ? &input.state : nullptr))
        return error == ChangedMeanwhile ? Failure::WriteOutput : Failure::OpenOutput;

    // Where the target itself is written it may be the input: all of it is
    // read before the first byte is written.
    const bool whole = output.writesTarget();
    std::vector<std::uint8_t> bytes;
    for (std::size_t got = pieceSize; got == pieceSize;) {
        const std::size_t at = whole ? bytes.size() : 0;
        bytes.resize(at + pieceSize);
        got = input.read(bytes.data() + at, pieceSize);
        bytes.resize(at + got);
        if (input.error != 0)
            return Failure::ReadInput;
        if (whole && got == pieceSize)
            continue;
        transformGlyphs(bytes.data(), bytes.size(), settings.rotate, settings.mirror);
        if (output.write(bytes.data(), bytes.size()) != 0)
            return Failure::WriteOutput;
    }
    return output.commit() == 0 ? Failure::None : Failure::WriteOutput;
}
