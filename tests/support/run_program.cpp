#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

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

using Clock = std::chrono::steady_clock;

Clock::duration toDuration(double seconds)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// TEST_TIME_LIMIT seconds, when set, else five minutes: far more than any
// run of the tests takes, so that only a run that hangs reaches it.
double timeLimit()
{
    const char* text = std::getenv("TEST_TIME_LIMIT");
    char* end = nullptr;
    const double seconds = text != nullptr ? std::strtod(text, &end) : 0;
    return end != text && seconds > 0 ? seconds : 300;
}

// Waits for `child` to end, until `deadline`; true, with its status, when it
// did. A process descriptor is polled where the kernel has them; elsewhere
// waitpid is asked at an interval that starts at 50 us and grows, so that
// a short run costs no more than it takes.
bool waitUntil(pid_t child, Clock::time_point deadline, int& waitStatus)
{
#ifdef SYS_pidfd_open
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (pidfd >= 0) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd ended{pidfd, POLLIN, 0};
            const int ready =
                poll(&ended, 1, static_cast<int>(std::max<long long>(0, std::min<long long>(left, 60000))));
            if (ready > 0 || (ready < 0 && errno != EINTR))
                break;
            if (ready == 0 && left <= 0) {
                close(pidfd);
                return false;
            }
        }
        close(pidfd);
        return waitpid(child, &waitStatus, 0) == child;
    }
#endif
    auto interval = std::chrono::microseconds(50);
    for (;;) {
        const pid_t done = waitpid(child, &waitStatus, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return done == child;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(interval);
        interval = std::min(interval * 2, std::chrono::microseconds(20000));
    }
}

// Stops the group of `child`: SIGTERM, so that a `timeout` in it stops its
// own group too, then SIGKILL for whatever is left after two seconds.
// Returns the status of `child`.
int stopGroup(pid_t child)
{
    (void)kill(-child, SIGTERM);
    int waitStatus = 0;
    const bool ended = waitUntil(child, Clock::now() + std::chrono::seconds(2), waitStatus);
    (void)kill(-child, SIGKILL);
    if (!ended)
        (void)waitpid(child, &waitStatus, 0);
    return waitStatus;
}

ProgramResult run(std::vector<std::string> words, const std::string& directory, const std::string& inputFile)
{
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // Console output goes to files, not pipes: a helper process of a runner
    // may keep a pipe open long after the program ended.
    ScratchDir console;
    const std::string outPath = console.file("stdout");
    const std::string errPath = console.file("stderr");
    const std::string inPath = inputFile.empty() ? "/dev/null" : inputFile;

    (void)std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        // A group of its own, so that whatever it starts can be stopped
        // with it.
        (void)setpgid(0, 0);
        int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);  // only 0, 1 and 2 reach the program
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(directory.c_str()) != 0)
            _exit(126);
        // Nor do the descriptors that ctest or a shell left to this test.
        if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
            for (int fd = 3; fd < 1024; ++fd)
                (void)close(fd);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ProgramResult result;
    if (child < 0)
        return result;
    // Set here as well, so that the group exists whichever runs first.
    (void)setpgid(child, child);
    const double limit = timeLimit();
    int waitStatus = 0;
    const bool ended = waitUntil(child, Clock::now() + toDuration(limit), waitStatus);
    if (!ended)
        waitStatus = stopGroup(child);
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    if (!ended) {
        result.status = 124;
        std::ostringstream note;
        note << "\n(" << words[0] << " had not ended after " << limit
             << " s, the time limit of a run; its process group was killed)\n";
        result.err += note.str();
    }
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

std::string randomBytes(std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::string readFile(const std::string& path)
{
    // In one read where the length is known: a byte at a time, reading the
    // large files of the fault tables took most of their time.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff length = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (length > 0) {
        std::string bytes(static_cast<std::size_t>(length), '\0');
        in.seekg(0);
        in.read(bytes.data(), length);
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        return bytes;
    }
    in.clear();
    in.seekg(0);
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
