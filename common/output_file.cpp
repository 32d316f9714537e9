#include "output_file.h"

#include "output_system.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

std::string outputErrorText(int error)
{
    if (error == ErrorTargetChanged)
        return "the file changed meanwhile";
    return error != 0 ? std::strerror(error) : "write failed";
}

std::string folderPart(const std::string& path, const char* separators)
{
    const std::size_t last = path.find_last_of(separators);
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

std::string basePart(const std::string& path, const char* separators)
{
    const std::size_t last = path.find_last_of(separators);
    return last == std::string::npos ? path : path.substr(last + 1);
}

// A name beside the target that says what it is: ".font.bin.x7Qa2Z". A long
// name is shortened, at a character boundary, to stay within NAME_MAX.
std::string temporaryCandidate(const std::string& base)
{
    static std::mt19937_64 random = [] {
        std::random_device device;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return std::mt19937_64((std::uint64_t{device()} << 32) ^ now);
    }();
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string shortened = base;
    if (shortened.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(shortened[cut]) & 0xC0) == 0x80)
            --cut;  // not inside a UTF-8 sequence
        shortened.resize(cut);
    }
    std::string name = "." + shortened + ".";
    for (int i = 0; i < 6; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;  // an output never committed is released unkept

int OutputFile::open(const std::string& name)
{
    system_.reset(newOutputSystem(name));
    if (system_ == nullptr)
        return ENOMEM;
    OutputSystem& system = *system_;

    // /dev/stdout and its kind: reopening would cut, or overwrite from the
    // start, what the shell opened (for appending, say).
    bool callers = false;
    if (int error = findCallerDescriptor(system, callers))
        return error;
    if (callers) {
        way_ = Way::Descriptor;
        return 0;
    }

    TargetKind kind = TargetKind::Missing;
    if (int error = openTarget(system, kind))
        return error;
    // Every name of a file with several links must see the new content;
    // a device or pipe has nothing to replace.
    way_ = Way::Direct;
    if (kind == TargetKind::SeveralLinks || kind == TargetKind::Other)
        return 0;
    bool found = false;
    if (int error = openFolder(system, kind, found))
        return error;
    const bool newFile = kind == TargetKind::Missing;
    Temporary temporary = Temporary::Refused;
    if (found) {
        if (int error = createTemporary(system, newFile, temporary))
            return error;
    }
    if (temporary == Temporary::Created && !newFile) {
        Attributes attributes = Attributes::CannotGive;
        if (int error = giveAttributes(system, attributes))
            return error;
        if (attributes == Attributes::CannotGive) {
            dropTemporary(system);
            temporary = Temporary::Refused;
        }
    }
    if (temporary == Temporary::Created) {
        way_ = newFile ? Way::Create : Way::Replace;
        return 0;
    }
    return newFile ? createTarget(system) : 0;
}

bool OutputFile::writesTarget() const
{
    return way_ == Way::Direct || way_ == Way::Descriptor;
}

int OutputFile::reserve(std::uint64_t length)
{
    return way_ == Way::Direct ? reserveSpace(*system_, length) : 0;
}

int OutputFile::write(const void* bytes, std::size_t size)
{
    const WriteTo to = way_ == Way::Direct       ? WriteTo::Target
                       : way_ == Way::Descriptor ? WriteTo::CallerDescriptor
                                                 : WriteTo::Temporary;
    return writeBytes(*system_, to, bytes, size);
}

int OutputFile::commit(OutputStep& failedStep)
{
    failedStep = OutputStep::Write;
    int error = 0;
    switch (way_) {
    case Way::Closed:
        return EBADF;
    case Way::Descriptor:
        break;
    case Way::Direct:
        error = endDirectWrite(*system_, failedStep);
        break;
    case Way::Create:
        error = publishNewFile(*system_);
        break;
    case Way::Replace: {
        Placed placed = Placed::Refused;
        error = replaceTarget(*system_, placed);
        if (error == 0 && placed == Placed::Refused)
            error = copyOverTarget(*system_);
        break;
    }
    }
    if (error == 0)
        keepOutput(*system_);
    system_.reset();
    way_ = Way::Closed;
    return error;
}
