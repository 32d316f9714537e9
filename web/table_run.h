// One run of trivolta in the page, as its main runs it, in a folder of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TableRun {
    std::string lineError;  // why the line was not run (shell_words.h); empty when it was
    unsigned status = 0;    // the exit status trivolta gives
    bool leftFile = false;  // the run left a file in its folder
    std::string fileName;
    std::string fileBytes;
    // Where a file was left: its port bytes, and the bits of phases A, B and C.
    std::vector<std::uint8_t> table;
    std::array<unsigned, 3> pins{};
};

// Splits `line` into arguments and runs trivolta's own runGenerator on them
// with standard output as its console, in a new, empty folder of the
// in-memory file system; the previous run's folder is removed first.
// Standard output is the page's to read: trivolta's messages, and a table
// written to /dev/stdout.
TableRun runTableLine(const std::string& line);

// The causes of an exit status, one for each bit set, lowest first, as
// "2: the period is odd".
std::vector<std::string> statusCauses(unsigned status);
