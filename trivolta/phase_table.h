// Checking the settings and computing the table of port bytes.
#pragma once

#include "exit_status.h"
#include "settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Runs every check of the settings in order, hands each failing check's
// message (no line end) to `print` as the check runs, and returns the bits
// of the checks that failed (ErrorPins, ErrorPeriodOdd, ErrorShiftTooBig;
// 0 when the settings pass).
unsigned validateSettings(const GeneratorSettings& settings, const std::function<void(const char*)>& print);

// The table of `period` port bytes for settings that passed validation.
std::vector<std::uint8_t> computePhaseTable(const GeneratorSettings& settings);
