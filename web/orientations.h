// The runs of glyphrot between any two orientations of a glyph, as the CMake
// function firmware_tools_font takes them: web/CMakeLists.txt makes the
// table with that function's own reading of glyphrot/orientation-pairs.table.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The orientations' names, then their other names, in the table's order,
// and the runs for each pair (from, to).
extern const std::vector<std::string> orientationNames;
extern const std::map<std::pair<std::string, std::string>, std::string> orientationRuns;

// The runs that take a font stored as `from` to `to`, "+" between runs
// ("" for none); false when a name is unknown.
bool runsBetween(const std::string& from, const std::string& to, std::string& runs);

// The runs of "+"-separated `runs`, in order; none for "".
std::vector<std::string> splitRuns(const std::string& runs);

// Converts `bytes` as those runs of glyphrot would, each run's -r and -m
// given to glyphrot's own transform.
void applyRuns(std::vector<std::uint8_t>& bytes, const std::string& runs);
