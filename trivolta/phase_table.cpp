#include "phase_table.h"

// Pins 8 and up are outside the byte: that phase is simply absent.
static std::uint8_t pinMask(std::uint8_t pin)
{
    return pin < 8 ? static_cast<std::uint8_t>(1u << pin) : 0;
}

unsigned validateSettings(const GeneratorSettings& settings, const std::function<void(const char*)>& print)
{
    unsigned errorFlags = 0;
    if (settings.pinA == settings.pinB || settings.pinA == settings.pinC || settings.pinB == settings.pinC) {
        print("Error in pin numbers");
        errorFlags |= ErrorPins;
    }
    if (settings.period % 6 != 0)
        print("Warning - period / 6 give not WHOLE number");
    if (settings.period % 2 != 0) {
        print("Error - period is not EVEN number");
        errorFlags |= ErrorPeriodOdd;
    }
    // 3 * shift reaches 196605: compare in 32 bits.
    if (std::uint32_t{settings.period} < 3u * settings.shift) {
        print("Error - shift is too big (period < shift * 3)");
        errorFlags |= ErrorShiftTooBig;
    }
    return errorFlags;
}

std::vector<std::uint8_t> computePhaseTable(const GeneratorSettings& settings)
{
    const std::uint8_t maskA = pinMask(settings.pinA);
    const std::uint8_t maskB = pinMask(settings.pinB);
    const std::uint8_t maskC = pinMask(settings.pinC);
    const std::uint8_t base =
        settings.otherBitsHigh ? static_cast<std::uint8_t>(0xFF & ~(maskA | maskB | maskC)) : 0x00;

    // 32-bit counters: period + 2 * shift can pass 65535, and a 16-bit
    // counter would wrap there and break the last entries' waves.
    const std::uint32_t period = settings.period;
    const std::uint32_t half = period / 2;
    std::uint32_t counterA = 0;
    std::uint32_t counterB = settings.shift;
    std::uint32_t counterC = 2u * settings.shift;

    std::vector<std::uint8_t> table(period);
    for (std::uint32_t i = 0; i < period; ++i) {
        std::uint8_t entry = base;
        if (half > counterA % period)
            entry |= maskA;
        if (half > counterB % period)
            entry |= maskB;
        if (half > counterC % period)
            entry |= maskC;
        table[i] = entry;
        ++counterA;
        ++counterB;
        ++counterC;
    }
    return table;
}
