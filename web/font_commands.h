// The commands that give the page's converted font outside it: glyphrot's
// runs, and the firmware_tools_font calls of a CMake build.
#pragma once

#include <string>

// The files a conversion of the font `inputName` to `to` is saved as.
struct FontFileNames {
    std::string input;  // the raw font glyphrot reads: the header's bytes saved beside it as .bin
    std::string raw;    // the converted bytes
    std::string c;      // the C array
};
FontFileNames fontFileNames(const std::string& inputName, bool fromHeader, const std::string& to);

// One command a line, with comments: each run of glyphrot (the first from
// the input into the output, the others in place), or a copy when there is
// none; then the calls of firmware_tools_font that give the same bytes.
std::string fontCommands(const std::string& inputName, bool fromHeader, const std::string& from, const std::string& to,
                         const std::string& runs, const std::string& arrayName);
