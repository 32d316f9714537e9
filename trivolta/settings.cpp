#include "settings.h"

#include <algorithm>
#include <climits>

namespace {

const char makerAddress[] = "www.korvinex.example";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ASCII only: other bytes, whatever the locale, stay as they are.
std::string toLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::string trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Two's-complement narrowing, well defined for negative numbers.
std::uint8_t low8(std::int32_t number)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(number) & 0xFFu);
}
std::uint16_t low16(std::int32_t number)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(number) & 0xFFFFu);
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
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One past INT32_MAX is enough to know the result saturates either way.
    const std::int64_t cap = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > cap)
            magnitude = cap;
    }
    if (negative)
        return static_cast<std::int32_t>(-magnitude);  // -cap is INT32_MIN
    return static_cast<std::int32_t>(magnitude < cap ? magnitude : INT32_MAX);
}

void parseCommandLine(const std::vector<std::string>& arguments, GeneratorSettings& settings)
{
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        auto valueAfter = [&argument](const char* optionName) {
            return argument.substr(std::string(optionName).size());
        };
        if (optionMatches(argument, "-A")) {
            settings.pinA = low8(readNumber(valueAfter("-A")));
        } else if (optionMatches(argument, "-B")) {
            settings.pinB = low8(readNumber(valueAfter("-B")));
        } else if (optionMatches(argument, "-C")) {
            settings.pinC = low8(readNumber(valueAfter("-C")));
        } else if (optionMatches(argument, "-P")) {
            settings.period = low16(readNumber(valueAfter("-P")));
        } else if (optionMatches(argument, "-S")) {
            settings.shift = low16(readNumber(valueAfter("-S")));
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
