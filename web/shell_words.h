// The words of a command line, split as a POSIX shell splits them, for the
// arguments typed into the page.
#pragma once

#include <string>
#include <vector>

struct ShellWords {
    std::vector<std::string> words;
    std::string error;  // why the line cannot be run as it is; empty when it can
};

// Blanks separate words; '...' keeps everything, "..." all but \ before
// $ ` " \ and a line end; \ outside quotes keeps the next character; # at the
// start of a word begins a comment. The page runs no other command and
// expands nothing, so unquoted operators (| & ; < > ( )), $, ` and a
// leading ~ are refused rather than passed on as the shell would not.
ShellWords splitShellWords(const std::string& line);
