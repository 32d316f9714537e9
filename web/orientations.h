// The orientations of a glyph, as glyphrot/orientations.table lists them, and
// the runs of glyphrot that take a font from one to another.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The matrix (a b c d) takes the pixel at (x, y) of the font as stored, x to
// the right and y down from the glyph's middle, to (a x + b y, c x + d y);
// the runs give the orientation from the font as stored, fewest first, "+"
// between runs, empty for the font as stored.
struct Orientation {
    std::string name;
    std::array<int, 4> matrix{};
    std::string runs;
};

struct OrientationTable {
    std::vector<Orientation> orientations;
    std::vector<std::array<std::string, 2>> aliases;  // another name, and the orientation it names
    std::string error;                                // the first line that could not be read
};

// The table's text, built into the page (orientation_table.cpp, made by
// CMake from glyphrot/orientations.table).
extern const char* const orientationTableText;

// Reads the lines "name|a b c d|runs" and "alias|orientation"; "#" begins a
// comment line. A run is -r, -m or both.
OrientationTable readOrientationTable(const std::string& text);

// The orientations' names, then the aliases, in the order of the table.
std::vector<std::string> orientationNames(const OrientationTable& table);

// The name of the orientation whose matrix is the identity.
std::string storedOrientationName(const OrientationTable& table);

// The runs that take a font stored as `from` to `to`: those of the
// orientation whose matrix is to times the transpose of from. False when a
// name is unknown or no orientation has that matrix.
bool runsBetween(const OrientationTable& table, const std::string& from, const std::string& to, std::string& runs);

// Converts `bytes` as glyphrot's runs would, one run after the other: each
// run's -r and -m given to glyphrot's own transform. (glyphrot's command
// line cannot be linked beside trivolta's: both define printUsage.)
void applyRuns(std::vector<std::uint8_t>& bytes, const std::string& runs);
