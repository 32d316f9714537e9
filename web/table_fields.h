// The page's fields for trivolta's settings and the argument line, each
// following the other: the fields show what trivolta takes from the line,
// and a field changes only the words of its own setting.
#pragma once

#include <string>

// What trivolta takes from the line: the values after narrowing, as it
// computes with them.
struct TableFields {
    std::string error;  // why the line cannot be read (shell_words.h); empty when it can
    unsigned pinA = 0;
    unsigned pinB = 0;
    unsigned pinC = 0;
    unsigned period = 0;
    unsigned shift = 0;
    bool otherBitsLow = false;
    std::string format;  // "C" or "A"
    std::string fileName;
};
TableFields readTableFields(const std::string& line);

// The line with the setting of one field changed, every other word kept as
// typed. `field` is "A", "B", "C", "P" or "S" with a number, "U" with "1"
// (other bits low) or "0", or "O" with the format, "A" or "C"; a file name
// is kept, but trivolta.c and trivolta.asm follow the format.
struct LineEdit {
    std::string line;
    std::string error;  // why the line was left as it was; empty when it was changed
};
LineEdit setTableField(const std::string& line, const std::string& field, const std::string& value);
