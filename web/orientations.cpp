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

std::vector<std::string> splitRuns(const std::string& runs)
{
    std::vector<std::string> list;
    std::istringstream each(runs);
    for (std::string run; std::getline(each, run, '+');)
        list.push_back(run);
    return list;
}

void applyRuns(std::vector<std::uint8_t>& bytes, const std::string& runs)
{
    for (const std::string& run : splitRuns(runs)) {
        std::istringstream words(run);
        bool rotate = false, mirror = false;
        for (std::string word; words >> word;) {
            rotate = rotate || word == "-r";
            mirror = mirror || word == "-m";
        }
        transformGlyphs(bytes.data(), bytes.size(), rotate, mirror);
    }
}
