// The generator's settings record and the command line that fills it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct GeneratorSettings {
    std::uint8_t pinA = 0;
    std::uint8_t pinB = 1;
    std::uint8_t pinC = 2;
    std::uint16_t period = 42;
    std::uint16_t shift = 14;
    std::string outputFormat = "C";  // "C" or "A"
    std::string outputFileName = "trivolta.c";
    std::uint8_t otherBitsHigh = 1;  // 1 or 0
    std::string waveform;            // "" or "sinus"; does not change the table
};

// Writes the usage text to `out`; a failed write shows in ferror(out).
void printUsage(std::FILE* out);

// True when `argument` begins with `optionName`, ASCII letter case ignored.
bool optionMatches(const std::string& argument, std::string optionName);

// Reads a decimal number as strtol in base 10 would into a signed 32-bit
// integer: leading white space, one optional sign, digits up to the first
// non-digit; saturates at the 32-bit limits; no digits give 0.
std::int32_t readNumber(const std::string& text);

// Applies the arguments after the program's name to `settings`, left to
// right. Unrecognised arguments are skipped silently.
void parseCommandLine(const std::vector<std::string>& arguments, GeneratorSettings& settings);
