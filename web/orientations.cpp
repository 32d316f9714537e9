#include "orientations.h"

#include "glyphrot/glyph_cell.h"

#include <sstream>

bool runsBetween(const std::string& from, const std::string& to, std::string& runs)
{
    const auto found = orientationRuns.find({from, to});
    if (found == orientationRuns.end())
        return false;
    runs = found->second;
    return true;
}

void applyRuns(std::vector<std::uint8_t>& bytes, const std::string& runs)
{
    std::istringstream each(runs);
    for (std::string run; std::getline(each, run, '+');)
        transformGlyphs(bytes.data(), bytes.size(), run.find("-r") != std::string::npos,
                        run.find("-m") != std::string::npos);
}
