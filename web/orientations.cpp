#include "orientations.h"

#include "glyphrot/glyph_cell.h"

#include <sstream>

namespace {

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find(separator, begin)) != std::string::npos; begin = end + 1)
        parts.push_back(text.substr(begin, end - begin));
    parts.push_back(text.substr(begin));
    return parts;
}

// The words of one run: -r and -m, as the table spells them.
bool readRun(const std::string& run, bool& rotate, bool& mirror)
{
    std::istringstream words(run);
    rotate = mirror = false;
    bool any = false;
    for (std::string word; words >> word; any = true) {
        rotate = rotate || word == "-r";
        mirror = mirror || word == "-m";
        if (word != "-r" && word != "-m")
            return false;
    }
    return any;
}

// Runs as the table writes them: none, or runs with "+" between them.
bool readRuns(const std::string& runs)
{
    bool rotate = false;
    bool mirror = false;
    for (const std::string& run : splitAt(runs, '+'))
        if (!readRun(run, rotate, mirror))
            return false;
    return true;
}

// The matrix of an orientation or alias; null for an unknown name.
const std::array<int, 4>* matrixOf(const OrientationTable& table, std::string name)
{
    for (const auto& alias : table.aliases)
        if (alias[0] == name)
            name = alias[1];
    for (const auto& orientation : table.orientations)
        if (orientation.name == name)
            return &orientation.matrix;
    return nullptr;
}

}  // namespace

OrientationTable readOrientationTable(const std::string& text)
{
    OrientationTable table;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> fields = splitAt(line, '|');
        std::istringstream numbers(fields.size() == 3 ? fields[1] : "");
        Orientation orientation{fields[0], {}, fields.size() == 3 ? fields[2] : ""};
        std::string rest;
        if (fields.size() == 2 && !fields[0].empty()) {
            table.aliases.push_back({fields[0], fields[1]});
        } else if (fields.size() == 3 && !fields[0].empty() &&
                   numbers >> orientation.matrix[0] >> orientation.matrix[1] >> orientation.matrix[2] >>
                       orientation.matrix[3] &&
                   !(numbers >> rest) && (orientation.runs.empty() || readRuns(orientation.runs))) {
            table.orientations.push_back(orientation);
        } else if (table.error.empty()) {
            table.error = "glyphrot/orientations.table: cannot read the line '" + line + "'";
        }
    }
    for (const auto& alias : table.aliases)
        if (matrixOf(table, alias[1]) == nullptr && table.error.empty())
            table.error = "glyphrot/orientations.table: " + alias[0] + " names no orientation";
    return table;
}

std::vector<std::string> orientationNames(const OrientationTable& table)
{
    std::vector<std::string> names;
    for (const auto& orientation : table.orientations)
        names.push_back(orientation.name);
    for (const auto& alias : table.aliases)
        names.push_back(alias[0]);
    return names;
}

std::string storedOrientationName(const OrientationTable& table)
{
    for (const auto& orientation : table.orientations)
        if (orientation.matrix == std::array<int, 4>{1, 0, 0, 1})
            return orientation.name;
    return "";
}

bool runsBetween(const OrientationTable& table, const std::string& from, const std::string& to, std::string& runs)
{
    const std::array<int, 4>* f = matrixOf(table, from);
    const std::array<int, 4>* t = matrixOf(table, to);
    if (f == nullptr || t == nullptr)
        return false;
    const std::array<int, 4> product{
        (*t)[0] * (*f)[0] + (*t)[1] * (*f)[1],
        (*t)[0] * (*f)[2] + (*t)[1] * (*f)[3],
        (*t)[2] * (*f)[0] + (*t)[3] * (*f)[1],
        (*t)[2] * (*f)[2] + (*t)[3] * (*f)[3],
    };
    for (const auto& orientation : table.orientations) {
        if (orientation.matrix == product) {
            runs = orientation.runs;
            return true;
        }
    }
    return false;
}

void applyRuns(std::vector<std::uint8_t>& bytes, const std::string& runs)
{
    if (runs.empty())
        return;
    for (const std::string& run : splitAt(runs, '+')) {
        bool rotate = false;
        bool mirror = false;
        if (readRun(run, rotate, mirror))
            transformGlyphs(bytes.data(), bytes.size(), rotate, mirror);
    }
}
