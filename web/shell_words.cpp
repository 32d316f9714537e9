#include "shell_words.h"

#include <algorithm>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool isOperator(char c)
{
    return c != '\0' && std::strchr("|&;<>()", c) != nullptr;
}

const char expansionError[] = "the page expands nothing: quote $ and ` with '...' to pass them on";

}  // namespace

ShellWords splitShellWords(const std::string& line)
{
    ShellWords result;
    std::string word;
    bool inWord = false;  // a word has begun, empty ("") or not
    std::size_t begin = 0;
    std::size_t i = 0;
    const auto startWord = [&] {
        if (!inWord)
            begin = i;
        inWord = true;
    };
    const auto endWord = [&] {
        if (inWord) {
            result.words.push_back(word);
            result.spans.push_back({begin, std::min(i, line.size())});  // a \ at the end counts 2
        }
        word.clear();
        inWord = false;
    };
    while (i < line.size()) {
        const char c = line[i];
        if (isBlank(c)) {
            endWord();
            ++i;
        } else if (c == '#' && !inWord) {
            while (i < line.size() && line[i] != '\n')
                ++i;
        } else if (c == '\\') {
            if (i + 1 < line.size() && line[i + 1] == '\n') {
                i += 2;  // a continued line
                continue;
            }
            startWord();
            word += i + 1 < line.size() ? line[i + 1] : '\\';
            i += 2;
        } else if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) {
                result.error = "a ' quote is not closed";
                return result;
            }
            startWord();
            word.append(line, i + 1, close - i - 1);
            i = close + 1;
        } else if (c == '"') {
            startWord();
            for (++i;; ++i) {
                if (i >= line.size()) {
                    result.error = "a \" quote is not closed";
                    return result;
                }
                const char q = line[i];
                if (q == '"')
                    break;
                if (q == '$' || q == '`') {
                    result.error = expansionError;
                    return result;
                }
                if (q == '\\' && i + 1 < line.size() && std::strchr("$`\"\\\n", line[i + 1]) != nullptr) {
                    ++i;
                    if (line[i] != '\n')
                        word += line[i];
                } else {
                    word += q;
                }
            }
            ++i;
        } else if (c == '$' || c == '`' || (c == '~' && !inWord)) {
            result.error = c == '~' ? "the page expands nothing: quote a leading ~ to pass it on" : expansionError;
            return result;
        } else if (isOperator(c)) {
            result.error = std::string("the page runs trivolta alone: quote ") + c + " to pass it on";
            return result;
        } else {
            startWord();
            word += c;
            ++i;
        }
    }
    endWord();
    return result;
}

std::string shellQuoted(const std::string& word)
{
    if (!word.empty() &&
        word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._+-/,=@%:") ==
            std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
