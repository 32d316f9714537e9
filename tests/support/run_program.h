// Helpers for tests that run a built program and compare its bytes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;  // exit status, or 128 + signal number, or 124 when stopped at the time limit
    std::string out;  // standard output
    std::string err;  // standard error
};

// `envName` from the environment when set (a cross-built program), else `builtPath`.
std::string programPath(const char* envName, const char* builtPath);

// Windows builds (TEST_WINDOWS=1, run through TEST_RUNNER), and the full device as they name it.
bool testingWindowsPrograms();
std::string fullDevice();

// Each run below is a process group of its own, killed when it has not ended
// within TEST_TIME_LIMIT seconds (else 300): status 124, and a note in `err`.
// runProgram: the program through TEST_RUNNER, input from /dev/null, CR LF
// read back as LF for Windows programs. runInShell: the shell line `script`,
// "$@" standing for the program as runProgram starts it with `arguments`.
// shell: `sh -c line`, with $0, $1 ... from `words`.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory);
ProgramResult runInShell(const std::string& script, const std::string& program,
                         const std::vector<std::string>& arguments, const std::string& directory);
ProgramResult shell(const std::string& line, const std::string& directory, const std::vector<std::string>& words = {});

// A shell line's start that runs the rest in a PID namespace of its own,
// where /proc is still the outer one's (in a user namespace as well where a
// user may make one only so); it ends with status 77 where none can be
// made, and then skippedWithoutPidNamespace prints that the case is skipped.
constexpr char inOtherPidNamespace[] = "n=-pf; unshare -pf true 2>/dev/null || n=-Upf; "
                                       "unshare $n true 2>/dev/null || exit 77; exec unshare $n";
bool skippedWithoutPidNamespace(const ProgramResult& result);

// `length` bytes from a Mersenne twister seeded with `seed`: the same on every run and system.
std::string randomBytes(std::size_t length, unsigned seed);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Byte-exact comparison that shows both sides as hex dumps on mismatch.
::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual);

// A fresh directory under TMPDIR, removed with its content afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
