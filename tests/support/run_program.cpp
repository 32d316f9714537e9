#include "run_program.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

using Clock = std::chrono::steady_clock;

// Waits for `child` to end, until `deadline`; true, with its status, when it
// did. waitpid is asked at an interval that starts at 50 us and grows to
// 1 ms, so that a short run costs no more than it takes.
bool waitUntil(pid_t child, Clock::time_point deadline, int& waitStatus)
{
    auto interval = std::chrono::microseconds(50);
    for (;;) {
        const pid_t done = waitpid(child, &waitStatus, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return done == child;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(interval);
        interval = std::min(interval * 2, std::chrono::microseconds(1000));
    }
}

// Console output goes to files, not pipes: a helper process of a runner may
// keep a pipe open long after the program ended.
ProgramResult run(std::vector<std::string> words, const std::string& directory)
{
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const ScratchDir console;
    const std::string out = console.file("stdout"), err = console.file("stderr");
    (void)std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        (void)setpgid(0, 0);  // a group of its own, so that whatever it starts can be stopped with it
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);  // only 0, 1 and 2 reach the program
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
            chdir(directory.c_str()) != 0)
            _exit(126);
        if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)  // nor do those that ctest or a shell left to this test
            for (int fd = 3; fd < 1024; ++fd)
                (void)close(fd);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ProgramResult result;
    if (child < 0)
        return result;
    (void)setpgid(child, child);  // here as well, so that the group exists whichever runs first
    // TEST_TIME_LIMIT seconds, else five minutes: only a run that hangs reaches it.
    std::string limit = environment("TEST_TIME_LIMIT");
    if (!(std::strtod(limit.c_str(), nullptr) > 0))
        limit = "300";
    const std::chrono::duration<double> seconds(std::strtod(limit.c_str(), nullptr));
    int waitStatus = 0;
    const bool ended =
        waitUntil(child, Clock::now() + std::chrono::duration_cast<Clock::duration>(seconds), waitStatus);
    if (!ended) {
        // SIGTERM, so that a `timeout` in the group stops its own group too,
        // then SIGKILL for whatever is left after two seconds.
        (void)kill(-child, SIGTERM);
        const bool stopped = waitUntil(child, Clock::now() + std::chrono::seconds(2), waitStatus);
        (void)kill(-child, SIGKILL);
        if (!stopped)
            (void)waitpid(child, &waitStatus, 0);
    }
    result.status = !ended ? 124 : WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    result.out = readFile(out);
    result.err = readFile(err);
    if (!ended)
        result.err += "\n(" + words[0] + " had not ended after " + limit +
                      " s, the time limit of a run; its process group was killed)\n";
    return result;
}

// TEST_RUNNER, when set, then the program and its arguments.
std::vector<std::string> commandLine(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{environment("TEST_RUNNER"), program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    if (words[0].empty())
        words.erase(words.begin());
    return words;
}

// Classic 16-bytes-a-line hex dump with an ASCII column.
std::string hexDump(const std::string& bytes)
{
    std::string dump;
    char hex[24];  // room for any offset: a 64-bit one takes 16 digits
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        (void)std::snprintf(hex, sizeof hex, "%08zx ", row);
        std::string ascii;
        dump += hex;
        for (std::size_t i = row; i < row + 16; ++i) {
            const auto byte = static_cast<unsigned char>(i < bytes.size() ? bytes[i] : 0);
            (void)std::snprintf(hex, sizeof hex, " %02x", byte);
            dump += i < bytes.size() ? hex : "   ";
            if (i < bytes.size())
                ascii += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
        }
        dump += "  " + ascii + "\n";
    }
    return dump + "(" + std::to_string(bytes.size()) + " bytes)\n";
}

}  // namespace

std::string programPath(const char* envName, const char* builtPath)
{
    const std::string fromEnvironment = environment(envName);
    return !fromEnvironment.empty() ? fromEnvironment : builtPath;
}

bool testingWindowsPrograms()
{
    return environment("TEST_WINDOWS") == "1";
}

std::string fullDevice()
{
    return testingWindowsPrograms() ? "Z:/dev/full" : "/dev/full";
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory)
{
    ProgramResult result = run(commandLine(program, arguments), directory);
    for (std::string* text : {&result.out, &result.err})
        for (std::size_t at = 0; testingWindowsPrograms() && (at = text->find("\r\n", at)) != std::string::npos;)
            text->erase(at, 1);
    return result;
}

ProgramResult runInShell(const std::string& script, const std::string& program,
                         const std::vector<std::string>& arguments, const std::string& directory)
{
    std::vector<std::string> words = commandLine(program, arguments);
    words.insert(words.begin(), "sh");  // $0
    return shell(script, directory, words);
}

ProgramResult shell(const std::string& line, const std::string& directory, const std::vector<std::string>& words)
{
    std::vector<std::string> arguments{"/bin/sh", "-c", line};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return run(arguments, directory);
}

bool skippedWithoutPidNamespace(const ProgramResult& result)
{
    // The reason the rows of faults.rows give where they need one.
    if (result.status == 77)
        std::cout << "skipped, no PID namespace can be made here: run as root, or allow unprivileged user namespaces "
                     "(sysctl kernel.unprivileged_userns_clone=1 where the kernel has it, user.max_user_namespaces "
                     "above 0; in a container, a seccomp or AppArmor profile that allows unshare): the run in another "
                     "PID namespace\n";
    return result.status == 77;
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
    // A block at a time: a byte at a time, reading the large files of the
    // fault tables took most of their time.
    std::ifstream in(path, std::ios::binary);
    std::string bytes, block(1 << 16, '\0');
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
        bytes.append(block, 0, static_cast<std::size_t>(in.gcount()));
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "bytes differ\nexpected:\n"
                                         << hexDump(expected) << "actual:\n"
                                         << hexDump(actual);
}

ScratchDir::ScratchDir() : path_((std::filesystem::temp_directory_path() / "fwtest.XXXXXX").string())
{
    if (mkdtemp(path_.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch directory " + path_ + " (" + std::strerror(errno) +
                                 "): let TMPDIR name a folder this user can write");
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
