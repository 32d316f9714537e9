#include "table_fields.h"

#include "shell_words.h"
#include "trivolta/settings.h"

#include <string>
#include <vector>

namespace {

// The settings one argument sets, told by trivolta's own parser: two
// records that differ in every setting agree, after the argument, in those
// it set and in no other.
struct SetBy {
    bool pinA, pinB, pinC, period, shift, otherBitsLow, format;
};
SetBy settingsSetBy(const std::string& argument)
{
    GeneratorSettings one;
    GeneratorSettings other;
    other.pinA = 100;
    other.pinB = 101;
    other.pinC = 102;
    other.period = 1000;
    other.shift = 1001;
    other.otherBitsHigh = 0;  // -U only ever clears it
    other.outputFormat = "A";
    parseCommandLine({"trivolta", argument}, one);
    parseCommandLine({"trivolta", argument}, other);
    return {one.pinA == other.pinA,
            one.pinB == other.pinB,
            one.pinC == other.pinC,
            one.period == other.period,
            one.shift == other.shift,
            one.otherBitsHigh == other.otherBitsHigh,
            one.outputFormat == other.outputFormat};
}

bool setsField(const SetBy& set, char field)
{
    switch (field) {
    case 'A':
        return set.pinA;
    case 'B':
        return set.pinB;
    case 'C':
        return set.pinC;
    case 'P':
        return set.period;
    case 'S':
        return set.shift;
    case 'U':
        return set.otherBitsLow;
    default:
        return set.format;
    }
}

GeneratorSettings settingsOf(const std::vector<std::string>& words)
{
    std::vector<std::string> arguments{"trivolta"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    GeneratorSettings settings;
    parseCommandLine(arguments, settings);
    return settings;
}

// `line` with the word `index` of `split` replaced by `word`, or, for npos,
// `word` added after the last word (before a comment).
std::string withWord(const std::string& line, const ShellWords& split, std::size_t index, const std::string& word)
{
    if (index != std::string::npos) {
        const WordSpan span = split.spans[index];
        return line.substr(0, span.begin) + word + line.substr(span.end);
    }
    if (split.spans.empty())
        return word + (line.empty() || line[0] == ' ' || line[0] == '\t' || line[0] == '\n' ? "" : " ") + line;
    const std::size_t end = split.spans.back().end;
    return line.substr(0, end) + " " + word + line.substr(end);
}

// `line` without the word `span`, and without the blanks before it.
std::string withoutWord(const std::string& line, WordSpan span)
{
    std::size_t begin = span.begin;
    while (begin > 0 && (line[begin - 1] == ' ' || line[begin - 1] == '\t'))
        --begin;
    if (begin == 0)
        while (span.end < line.size() && (line[span.end] == ' ' || line[span.end] == '\t'))
            ++span.end;
    return line.substr(0, begin) + line.substr(span.end);
}

// The page's names for a table in each format, which follow the format.
std::string defaultName(const std::string& format)
{
    return format == "A" ? "trivolta.asm" : "trivolta.c";
}

}  // namespace

TableFields readTableFields(const std::string& line)
{
    TableFields fields;
    const ShellWords split = splitShellWords(line);
    fields.error = split.error;
    const GeneratorSettings settings = settingsOf(split.words);
    fields.pinA = settings.pinA;
    fields.pinB = settings.pinB;
    fields.pinC = settings.pinC;
    fields.period = settings.period;
    fields.shift = settings.shift;
    fields.otherBitsLow = settings.otherBitsHigh == 0;
    fields.format = settings.outputFormat;
    fields.fileName = settings.outputFileName;
    return fields;
}

LineEdit setTableField(const std::string& line, const std::string& field, const std::string& value)
{
    LineEdit edit{line, ""};
    const ShellWords split = splitShellWords(line);
    if (!split.error.empty() || field.size() != 1 || field.find_first_of("ABCPSUO") != 0 ||
        (field == "O" && value != "A" && value != "C")) {
        edit.error = split.error.empty() ? "no such field or value: " + field + " " + value : split.error;
        return edit;
    }
    const char name = field[0];
    std::size_t last = std::string::npos;  // the last word that sets the field
    for (std::size_t i = 0; i < split.words.size(); ++i)
        if (setsField(settingsSetBy(split.words[i]), name))
            last = i;

    if (name == 'U' && value == "0") {
        // Any -U0 clears the other bits: every one goes, from the last.
        for (std::size_t i = split.words.size(); i-- > 0;)
            if (setsField(settingsSetBy(split.words[i]), 'U'))
                edit.line = withoutWord(edit.line, split.spans[i]);
        return edit;
    }
    if (name == 'U') {
        edit.line = last == std::string::npos ? withWord(line, split, last, "-U0") : line;
        return edit;
    }
    if (name == 'O') {
        // trivolta keeps a file name when the format changes; the page's own
        // names for the table follow the format.
        const GeneratorSettings before = settingsOf(split.words);
        std::string fileName = last == std::string::npos ? "" : split.words[last].substr(3);
        if (before.outputFileName == defaultName(before.outputFormat))
            fileName = defaultName(value);
        edit.line = withWord(line, split, last, shellQuoted("-O" + value + fileName));
        return edit;
    }
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(value) > 65535) {
        edit.error = "the field holds no number from 0 to 65535";
        return edit;
    }
    edit.line = withWord(line, split, last, "-" + field + value);
    return edit;
}
