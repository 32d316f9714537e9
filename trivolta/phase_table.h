// Checking the settings and computing the table of port bytes.
#pragma once

#include "settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Bits of errorFlags; the value is also the exit status.
constexpr unsigned ErrorPins = 1;         // two pin numbers are equal
constexpr unsigned ErrorPeriodOdd = 2;    // period is odd
constexpr unsigned ErrorShiftTooBig = 4;  // period < 3 * shift
constexpr unsigned ErrorOutput = 8;       // the table or a message did not reach its destination whole

// Runs every check in order, hands each failing check's message (no line
// end) to `print` as the check runs, and returns errorFlags (0 when the
// settings pass).
unsigned validateSettings(const GeneratorSettings& settings, const std::function<void(const char*)>& print);

// The table of `period` port bytes for settings that passed validation.
std::vector<std::uint8_t> computePhaseTable(const GeneratorSettings& settings);
