#include "c_source.h"

#include <algorithm>
#include <cctype>

namespace {

bool isIdentifierCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Blanks within a line, as the preprocessor skips them before a directive.
bool isLineBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r';
}

// The end of the string or character literal that starts at `begin`: past
// its closing quote, or at the line end where it is left open.
std::size_t literalEnd(const std::string& text, std::size_t begin)
{
    const char quote = text[begin];
    std::size_t i = begin + 1;
    while (i < text.size() && text[i] != quote && text[i] != '\n')
        i += text[i] == '\\' ? 2 : 1;
    return std::min(i + 1, text.size());
}

// Each backslash that ends a line goes with the line end; as GCC, blanks
// between them too.
std::string withoutSplices(const std::string& text)
{
    std::string joined;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            std::size_t end = i + 1;
            while (end < text.size() && isLineBlank(text[end]))
                ++end;
            if (end < text.size() && text[end] == '\n') {
                i = end;
                continue;
            }
        }
        joined += text[i];
    }
    return joined;
}

// Each comment made one space, a line end after a // comment kept; string
// and character literals are kept whole, so that "//" in one starts nothing.
std::string withoutComments(const std::string& text)
{
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "//") == 0) {
            i = std::min(text.find('\n', i), text.size());
            kept += ' ';
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
            kept += ' ';
        } else if (text[i] == '"' || text[i] == '\'') {
            const std::size_t end = literalEnd(text, i);
            kept.append(text, i, end - i);
            i = end;
        } else {
            kept += text[i++];
        }
    }
    return kept;
}

// The text without its directives: every line whose first token is # or
// its digraph %:.
std::string withoutDirectives(const std::string& text)
{
    std::string kept;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size() - 1) + 1;
        std::size_t first = begin;
        while (first < end && isLineBlank(text[first]))
            ++first;
        if (text.compare(first, 1, "#") != 0 && text.compare(first, 2, "%:") != 0)
            kept.append(text, begin, end - begin);
        begin = end;
    }
    return kept;
}

// The digits of each hex literal in order; an identifier or a number that
// only holds "0x" is none, and neither is a string or character literal.
std::string hexDigits(const std::string& code)
{
    std::string digits;
    for (std::size_t i = 0; i < code.size();) {
        const char c = code[i];
        if (c == '"' || c == '\'') {
            i = literalEnd(code, i);
        } else if (isIdentifierCharacter(c) && !isDigit(c)) {
            while (i < code.size() && isIdentifierCharacter(code[i]))
                ++i;
        } else if (isDigit(c) || (c == '.' && i + 1 < code.size() && isDigit(code[i + 1]))) {
            // A preprocessing number: digits, letters, _ and ., and a sign after an exponent's e or p.
            const std::size_t begin = i;
            for (++i; i < code.size(); ++i) {
                const char prior = static_cast<char>(std::tolower(static_cast<unsigned char>(code[i - 1])));
                if (!isIdentifierCharacter(code[i]) && code[i] != '.' &&
                    !((code[i] == '+' || code[i] == '-') && (prior == 'e' || prior == 'p')))
                    break;
            }
            if (code[begin] == '0' && begin + 1 < i && (code[begin + 1] == 'x' || code[begin + 1] == 'X')) {
                std::size_t end = begin + 2;
                while (end < i && std::isxdigit(static_cast<unsigned char>(code[end])))
                    ++end;
                if (end - begin == 3)
                    digits += '0';
                digits.append(code, begin + 2, end - begin - 2);
            }
        } else {
            ++i;
        }
    }
    return digits;
}

}  // namespace

bool isCSourceName(const std::string& name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    for (const std::string extension : {".h", ".c", ".hpp", ".hh", ".cpp", ".cc", ".inc"})
        if (lower.size() >= extension.size() &&
            lower.compare(lower.size() - extension.size(), extension.size(), extension) == 0)
            return true;
    return false;
}

std::vector<std::uint8_t> readHeaderBytes(const std::string& text)
{
    const std::string digits = hexDigits(withoutDirectives(withoutComments(withoutSplices(text))));
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string arrayNameError(const std::string& name)
{
    // C17's keywords and those C23 adds.
    static const char* const keywords[] = {
        "auto",       "break",      "case",           "char",
        "const",      "continue",   "default",        "do",
        "double",     "else",       "enum",           "extern",
        "float",      "for",        "goto",           "if",
        "inline",     "int",        "long",           "register",
        "restrict",   "return",     "short",          "signed",
        "sizeof",     "static",     "struct",         "switch",
        "typedef",    "union",      "unsigned",       "void",
        "volatile",   "while",      "_Alignas",       "_Alignof",
        "_Atomic",    "_Bool",      "_Complex",       "_Generic",
        "_Imaginary", "_Noreturn",  "_Static_assert", "_Thread_local",
        "alignas",    "alignof",    "bool",           "constexpr",
        "false",      "nullptr",    "static_assert",  "thread_local",
        "true",       "typeof",     "typeof_unqual",  "_BitInt",
        "_Decimal32", "_Decimal64", "_Decimal128",
    };
    const bool identifier = !name.empty() && !isDigit(name[0]) && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_';
    });
    if (!identifier)
        return "The array's name must be a C identifier, letters, digits and _ and no digit first: \"" + name +
               "\" is not one.";
    for (const char* keyword : keywords)
        if (name == keyword)
            return "The array's name must be a C identifier: \"" + name + "\" is a keyword of C.";
    return "";
}
