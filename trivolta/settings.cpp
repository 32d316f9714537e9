#include "settings.h"

#include <algorithm>
#include <climits>

namespace {

const char makerAddress[] = "www.korvinex.example";

// White space as strtol and the C locale see it.
const char spaces[] = " \t\n\v\f\r";

// ASCII only: other bytes, whatever the locale, stay as they are.
std::string toLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::string trimmed(const std::string& text)
{
    const std::size_t begin = text.find_first_not_of(spaces);
    return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(spaces) - begin + 1);
}

// A blank name keeps the earlier one: the format never renames the file.
void applyOutputOption(GeneratorSettings& settings, const char* format, const std::string& value)
{
    settings.outputFormat = format;
    std::string name = trimmed(value);
    if (!name.empty())
        settings.outputFileName = name;
}

}  // namespace

void printUsage(std::FILE* out)
{
    const char* const writes[] = {
        "3-phase table generator utility from KORVINEX (",
        makerAddress,
        "). Usage:\n",
        "\ttrivolta.exe -Ai -Bj -Ck -Pn -Sm -O<C|A><output_file_name> -Ul \n",
        "Options are:\n",
        "\t\n",
        "\t\n",
        "\t\n",
        "\t\n",
    };
    for (const char* text : writes)
        (void)std::fputs(text, out);
}

bool optionMatches(const std::string& argument, std::string optionName)
{
    std::string head = argument.substr(0, optionName.size());
    return toLower(head) == toLower(std::move(optionName));
}

std::int32_t readNumber(const std::string& text)
{
    std::size_t i = std::min(text.find_first_not_of(spaces), text.size());
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One past INT32_MAX is enough to know the result saturates either way.
    const std::int64_t cap = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > cap)
            magnitude = cap;
    }
    if (negative)
        return static_cast<std::int32_t>(-magnitude);  // -cap is INT32_MIN
    return static_cast<std::int32_t>(magnitude < cap ? magnitude : INT32_MAX);
}

// A conversion to an unsigned type keeps the low bits of a negative number
// too (two's complement): -1 is pin 255.
void parseCommandLine(const std::vector<std::string>& arguments, GeneratorSettings& settings)
{
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        auto valueAfter = [&argument](const char* optionName) {
            return argument.substr(std::string(optionName).size());
        };
        if (optionMatches(argument, "-A")) {
            settings.pinA = static_cast<std::uint8_t>(readNumber(valueAfter("-A")));
        } else if (optionMatches(argument, "-B")) {
            settings.pinB = static_cast<std::uint8_t>(readNumber(valueAfter("-B")));
        } else if (optionMatches(argument, "-C")) {
            settings.pinC = static_cast<std::uint8_t>(readNumber(valueAfter("-C")));
        } else if (optionMatches(argument, "-P")) {
            settings.period = static_cast<std::uint16_t>(readNumber(valueAfter("-P")));
        } else if (optionMatches(argument, "-S")) {
            settings.shift = static_cast<std::uint16_t>(readNumber(valueAfter("-S")));
        } else if (optionMatches(argument, "-OC")) {
            applyOutputOption(settings, "C", valueAfter("-OC"));
        } else if (optionMatches(argument, "-OA")) {
            applyOutputOption(settings, "A", valueAfter("-OA"));
        } else if (optionMatches(argument, "-U")) {
            // The whole number is tested: -U256 does not clear the flag.
            if (readNumber(valueAfter("-U")) == 0)
                settings.otherBitsHigh = 0;
        } else if (optionMatches(argument, "-mS")) {
            settings.waveform = "sinus";
        }
    }
}
