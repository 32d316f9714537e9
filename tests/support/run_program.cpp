#include "run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

std::string programPath(const char* envName, const char* builtPath)
{
    const char* fromEnvironment = std::getenv(envName);
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : builtPath;
}

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string withoutCarriageReturns(std::string text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            result += text[i];
    return result;
}

ProgramResult run(std::vector<std::string> words, const std::string& directory, const std::string& inputFile)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // Console output goes to files, not pipes: a helper process of a runner
    // may keep a pipe open long after the program ended.
    ScratchDir console;
    const std::string outPath = console.file("stdout");
    const std::string errPath = console.file("stderr");
    const std::string inPath = inputFile.empty() ? "/dev/null" : inputFile;

    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);  // only 0, 1 and 2 reach the program
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(directory.c_str()) != 0)
            _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ProgramResult result;
    int waitStatus = 0;
    if (child < 0 || waitpid(child, &waitStatus, 0) != child)
        return result;
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

// TEST_RUNNER, when set, then the program.
std::vector<std::string> commandWords(const std::string& program)
{
    std::vector<std::string> words;
    if (!environment("TEST_RUNNER").empty())
        words.push_back(environment("TEST_RUNNER"));
    words.push_back(program);
    return words;
}

}  // namespace

bool testingWindowsPrograms()
{
    return environment("TEST_WINDOWS") == "1";
}

std::string fullDevice()
{
    return testingWindowsPrograms() ? "Z:/dev/full" : "/dev/full";
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& inputFile)
{
    std::vector<std::string> words = commandWords(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    ProgramResult result = run(words, directory, inputFile);
    if (testingWindowsPrograms()) {
        result.out = withoutCarriageReturns(result.out);
        result.err = withoutCarriageReturns(result.err);
    }
    return result;
}

ProgramResult runInShell(const std::string& script, const std::string& program,
                         const std::vector<std::string>& arguments, const std::string& directory)
{
    std::vector<std::string> words{"-c", script, "sh"};
    for (const std::string& word : commandWords(program))
        words.push_back(word);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runCommand("/bin/sh", words, directory);
}

ProgramResult runCommand(const std::string& tool, const std::vector<std::string>& arguments,
                         const std::string& directory)
{
    std::vector<std::string> words{tool};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return run(words, directory, "");
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string hexDump(const std::string& bytes)
{
    std::ostringstream dump;
    char line[100];
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        int used = std::snprintf(line, sizeof line, "%08zx ", row);
        std::string ascii;
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < bytes.size()) {
                auto byte = static_cast<unsigned char>(bytes[i]);
                used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), " %02x", byte);
                ascii += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
            } else {
                used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "   ");
            }
        }
        dump << line << "  " << ascii << "\n";
    }
    dump << "(" << bytes.size() << " bytes)\n";
    return dump.str();
}

::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "bytes differ\nexpected:\n"
                                         << hexDump(expected) << "actual:\n"
                                         << hexDump(actual);
}

ScratchDir::ScratchDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/fwtest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch directory");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
