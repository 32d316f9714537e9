#include "run.h"

#include "glyph_cell.h"
#include "replace.h"

#include <cerrno>

Failure convertFile(const ConverterSettings& settings)
{
    // A pipe or FIFO cannot be rewritten in place: reading it empties it,
    // and opening it to write would wait for a reader that never comes.
    if (namesSameSpecialFile(settings.inputFileName, settings.outputFileName))
        return Failure::OpenOutput;

    // The whole input, read and closed before the output is opened: the
    // output may be the input, and it is opened while the program holds no
    // descriptor of its own.
    WholeFile input = readWholeFile(settings.inputFileName);
    if (input.error == ENOMEM)
        return Failure::NoMemory;
    if (input.error != 0)
        return input.failedStep == ReadStep::Open     ? Failure::OpenInput
               : input.failedStep == ReadStep::Length ? Failure::InputLength
                                                      : Failure::ReadInput;
    transformGlyphs(input.bytes.data(), input.bytes.size(), settings.rotate, settings.mirror);

    // In place, the name must still lead to the file that was read, as it was.
    const bool inPlace = settings.outputFileName == settings.inputFileName;
    Replacement output;
    if (int error = output.open(settings.outputFileName, input.bytes.size(), inPlace ? &input.state : nullptr))
        return error == ChangedMeanwhile ? Failure::WriteOutput : Failure::OpenOutput;
    if (output.write(input.bytes.data(), input.bytes.size()) != 0 || output.commit() != 0)
        return Failure::WriteOutput;
    return Failure::None;
}
