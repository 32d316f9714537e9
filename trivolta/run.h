// One run of the generator after start-up.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Reads the command line (the program's name first), then validates,
// computes and writes the table; with no argument it only prints the usage
// text, with "--help", "-h" or "--version" alone the help or the version.
// Texts for the user go to `console`; one that did not reach it shows in
// ferror(console), for the caller to check. Returns the bits of the failed
// checks (exit_status.h), or ErrorOutput when the table did not reach its file.
unsigned runGenerator(const std::vector<std::string>& arguments, std::FILE* console);
