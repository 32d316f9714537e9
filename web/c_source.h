// A font in C source: the bytes of a header's hex literals, and the names
// an array of them can have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Names of C sources and headers (.h, .c and the like), read by their hex literals.
bool isCSourceName(const std::string& name);

// The hex literals of `text` as the C preprocessor reads the file, each a
// byte or more: line splices go first (a backslash, blanks and a line end),
// then every comment becomes one space, lines and all; then each directive
// (a line whose first token is # or %:) goes whole; what is left gives its
// hex literals in order, string and character literals and identifiers
// aside. Their digits are taken two at a time, a single digit with a 0
// before it: the header-in recipe of doc/fonts.md.
std::vector<std::uint8_t> readHeaderBytes(const std::string& text);

// Why `name` cannot name an array in C ("" when it can): it must be an
// identifier, and no keyword.
std::string arrayNameError(const std::string& name);
