#include "output_file.h"

#include "output_system.h"

#include <cerrno>

OutputFile::~OutputFile()
{
    if (stream != nullptr)
        (void)std::fclose(stream);  // abandoned: what it held is not wanted
    releaseHandles(handles);
}

int prepareOutput(const std::string& name, OutputFile& output)
{
    OutputHandles& handles = output.handles;
    handles.name = name;

    // /dev/stdout and its kind: reopening would cut, or overwrite from the
    // start, what the shell opened (for appending, say).
    int descriptor = -1;
    if (int error = findNamedDescriptor(handles, descriptor))
        return error;
    if (descriptor >= 0) {
        output.stream = streamOnDescriptor(descriptor);
        output.way = OutputWay::Descriptor;
        return output.stream != nullptr ? 0 : errno;
    }

    TargetKind kind = TargetKind::Missing;
    if (int error = openTarget(handles, kind))
        return error;
    // Every name of a file with several links must see the new content;
    // a device or pipe has nothing to replace.
    output.way = OutputWay::Direct;
    if (kind == TargetKind::SeveralLinks || kind == TargetKind::Other)
        return 0;
    bool found = false;
    if (int error = openFolder(handles, kind, found))
        return error;
    if (!found)
        return 0;

    const bool newFile = kind == TargetKind::Missing;
    Temporary temporary = Temporary::Refused;
    if (int error = createTemporary(handles, newFile, temporary))
        return error;
    if (temporary == Temporary::Refused)
        return 0;
    output.stream = streamOnDescriptor(handles.temporary);
    if (output.stream == nullptr)
        return errno;
    output.way = newFile ? OutputWay::Create : OutputWay::Replace;
    return 0;
}

int openDirectly(OutputFile& output)
{
    if (int error = cutOrCreateTarget(output.handles))
        return error;
    output.stream = streamOnDescriptor(output.handles.target);
    return output.stream != nullptr ? 0 : errno;
}

namespace {

// Puts the finished temporary file where the target is: a new name, a
// rename over the old file, or, where a rename cannot keep what the old file
// had or is refused, a copy over it.
int publish(OutputHandles& handles, OutputWay way)
{
    if (way == OutputWay::Create)
        return publishNewFile(handles);
    Attributes attributes = Attributes::CannotKeep;
    if (int error = keepAttributes(handles, attributes))
        return error;
    if (attributes == Attributes::Kept) {
        Placed placed = Placed::Refused;
        if (int error = replaceTarget(handles, placed))
            return error;
        if (placed == Placed::Done)
            return 0;
    }
    return writeOverTarget(handles);
}

}  // namespace

bool finishOutput(OutputFile& output, OutputStep& failedStep, int& error)
{
    errno = 0;
    const bool flushed = std::fflush(output.stream) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(output.stream) == 0;
    const int closeError = errno;
    output.stream = nullptr;

    error = 0;
    if (!flushed || !closed) {
        failedStep = flushed ? OutputStep::Close : OutputStep::Write;
        error = flushed ? closeError : flushError;
    } else if (output.replacing()) {
        failedStep = OutputStep::Write;
        error = publish(output.handles, output.way);
    }
    releaseHandles(output.handles);
    return flushed && closed && error == 0;
}
