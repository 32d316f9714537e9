// trivolta's exit status: the sum of one bit per failed check. Each bit is
// set by its own check, and only main reads the sum, to return it.
#pragma once

constexpr unsigned ErrorPins = 1;         // two pin numbers are equal (validateSettings)
constexpr unsigned ErrorPeriodOdd = 2;    // the period is odd (validateSettings)
constexpr unsigned ErrorShiftTooBig = 4;  // period < 3 * shift (validateSettings)
// The table did not reach its file whole (writeTableFile), a message or the
// usage text did not reach the console, or memory ran out (main).
constexpr unsigned ErrorOutput = 8;
