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

// The program to run: `envName` from the environment when set (so the same
// tests can drive a cross-built program), else `builtPath`.
std::string programPath(const char* envName, const char* builtPath);

// True when the programs under test are Windows builds (TEST_WINDOWS=1),
// started through TEST_RUNNER (wine). Their console turns LF into CR LF.
bool testingWindowsPrograms();

// The device that is always full, as the programs under test name it.
std::string fullDevice();

// Every run below starts its command in a process group of its own; one
// that has not ended within the time limit (TEST_TIME_LIMIT seconds, else
// 300) has its group killed, and ends with status 124 and a note in `err`.

// Runs the program under test, as commandWords gives it, with `arguments`
// in `directory`; standard input from `inputFile` (/dev/null when empty).
// For Windows programs, CR LF on the console is read back as LF.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& inputFile = "");

// Runs the shell line `script` in `directory`, where "$@" stands for the
// program under test (as runProgram starts it) followed by `arguments`.
ProgramResult runInShell(const std::string& script, const std::string& program,
                         const std::vector<std::string>& arguments, const std::string& directory);

// A shell line's start that runs the rest in a PID namespace of its own,
// where /proc is still the outer one's; it ends with status 77 where
// namespaces cannot be made (not as root, in some containers).
constexpr char inOtherPidNamespace[] = "unshare -pf true 2>/dev/null || exit 77; exec unshare -pf";
constexpr int cannotRun = 77;

// Runs a tool of this system (/bin/sh, /bin/mkdir) as it is.
ProgramResult runCommand(const std::string& tool, const std::vector<std::string>& arguments,
                         const std::string& directory);

// `length` bytes from a Mersenne twister seeded with `seed`: the same bytes
// on every run and every system.
std::string randomBytes(std::size_t length, unsigned seed);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// Classic 16-bytes-a-line hex dump with an ASCII column.
std::string hexDump(const std::string& bytes);

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
