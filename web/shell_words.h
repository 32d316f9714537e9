// The words of a command line, split as a POSIX shell splits them, for the
// arguments typed into the page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Where a word stands in the line, quotes and backslashes included.
struct WordSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct ShellWords {
    std::vector<std::string> words;
    std::vector<WordSpan> spans;  // one for each word
    std::string error;            // why the line cannot be run as it is; empty when it can
};

// Blanks separate words; '...' keeps everything, "..." all but \ before
// $ ` " \ and a line end; \ outside quotes keeps the next character; # at the
// start of a word begins a comment. The page runs no other command and
// expands nothing, so unquoted operators (| & ; < > ( )), $, ` and a
// leading ~ are refused rather than passed on as the shell would not.
ShellWords splitShellWords(const std::string& line);

// The word as the shell takes it back as one word: as it is when nothing in
// it is special, else in '...'.
std::string shellQuoted(const std::string& word);
