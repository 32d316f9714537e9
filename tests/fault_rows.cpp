// Runs the rows of faults.rows, one test each, named Faults.<its title>;
// the head of that file says what a row holds. The rows' shell lines find
// the programs under test as `trivolta` and `glyphrot` on PATH: the built
// ones, or those TRIVOLTA_PROGRAM and GLYPHROT_PROGRAM name, run directly
// (not through TEST_RUNNER: the faults are Linux's).
#include "run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// A block of "field: value" lines: a row, a need, or the prelude.
struct Block {
    std::map<std::string, std::string> fields;
    int line = 0;  // where it starts
    std::string operator[](const std::string& name) const
    {
        const auto found = fields.find(name);
        return found == fields.end() ? "" : found->second;
    }
};

struct RowFile {
    std::string path, prelude;
    std::vector<Block> rows;
    std::map<std::string, Block> needs;
};

// The fields whose values are bytes with escapes; a continued line goes on
// with them directly, with the others (shell) after a line feed.
bool escaped(const std::string& field)
{
    return field == "stdout" || field == "stderr" || field == "state";
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The needs of a row, as listed: "root, strace, sysctl fs.protected_regular=1".
std::vector<std::string> needsOf(const Block& row)
{
    std::vector<std::string> needs;
    std::istringstream list(row["needs"]);
    for (std::string need; std::getline(list, need, ',');)
        if (!trimmed(need).empty())
            needs.push_back(trimmed(need));
    return needs;
}

// The bytes an escaped value stands for: \n, \t, \r, \\ and \xHH.
std::string unescape(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '\\')
            bytes += text[i];
        else if (next == 'x' && i + 3 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0 &&
                 std::isxdigit(static_cast<unsigned char>(text[i + 3])) != 0)
            bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)), i += 3;
        else if (next == 'n' || next == 't' || next == 'r' || next == '\\')
            bytes += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : '\\', i += 1;
        else
            throw std::invalid_argument("an escape that is not \\n, \\t, \\r, \\\\ or \\xHH: " + text.substr(i));
    }
    return bytes;
}

RowFile readRows(const std::string& path)
{
    static const std::set<std::string> known{"title",  "needs", "setup", "run",      "status",   "stdout",
                                             "stderr", "check", "state", "teardown", "replaces", "umask",
                                             "user",   "need",  "probe", "reason",   "prelude"};
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot be read");
    std::vector<Block> blocks(1);
    std::string field;  // the one a continued line goes on with
    int number = 0;
    const auto wrong = [&](const std::string& what) {
        return std::runtime_error(path + ":" + std::to_string(number) + ": " + what);
    };
    for (std::string line; std::getline(in, line);) {
        ++number;
        Block& block = blocks.back();
        if (trimmed(line).empty()) {  // a blank line ends a block
            if (!block.fields.empty())
                blocks.emplace_back();
            field.clear();
        } else if (line[0] == '#') {
            continue;
        } else if (line[0] == ' ' || line[0] == '\t') {
            if (field.empty())
                throw wrong("a continued line, but no field above it");
            block.fields[field] += (escaped(field) ? "" : "\n") + trimmed(line);
        } else {
            const std::size_t colon = line.find(':');
            field = line.substr(0, colon);
            if (colon == std::string::npos || known.count(field) == 0)
                throw wrong("no known field: " + line);
            if (block.fields.count(field) != 0)
                throw wrong(field + " is given twice");
            if (block.fields.empty())
                block.line = number;
            block.fields[field] = trimmed(line.substr(colon + 1));
        }
    }
    RowFile file{path, "", {}, {}};
    for (const Block& block : blocks) {
        number = block.line;
        if (block.fields.count("prelude") != 0)
            file.prelude = block["prelude"] + "\n";
        else if (block.fields.count("need") != 0)
            file.needs[block["need"]] = block;
        else if (block.fields.count("title") != 0 && block.fields.count("run") + block.fields.count("replaces") == 1)
            file.rows.push_back(block);
        else if (!block.fields.empty())
            throw wrong("a row has a title, and a run or a name it replaces; a need has a name");
    }
    for (const Block& row : file.rows) {
        number = row.line;
        for (const std::string& need : needsOf(row))
            if (file.needs.count(need) == 0 &&
                (need.compare(0, 7, "sysctl ") != 0 || need.find('=') == std::string::npos))
                throw wrong("no such need: " + need);
        try {
            for (const char* bytes : {"stdout", "stderr", "state"})
                (void)unescape(row[bytes]);
        } catch (const std::invalid_argument& error) {
            throw wrong(error.what());
        }
        if (row["status"].find_first_not_of("0123456789 ") != std::string::npos ||
            (row["user"] != "" && row["user"] != "nobody"))
            throw wrong("a status is a list of numbers, and the one user is nobody");
    }
    return file;
}

// "stops at the file size limit: table, SIGXFSZ ignored" is named
// StopsAtTheFileSizeLimit_TableSigxfszIgnored: a capital starts each word.
std::string testName(const std::string& title)
{
    std::string name;
    bool wordStarts = true;
    for (std::size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (std::isalnum(c) != 0)
            name += static_cast<char>(wordStarts ? std::toupper(c) : std::tolower(c));
        else if (title.compare(i, 2, ": ") == 0 && name.find('_') == std::string::npos)
            name += '_';
        wordStarts = std::isalnum(c) == 0 && c != '\'';  // "folder's" is one word
    }
    return name;
}

// A sysctl set for one row ("fs.protected_regular=1") and restored after.
// The setting is the whole machine's: a lock is held meanwhile. `why` says
// why it could not be set.
struct Sysctl {
    explicit Sysctl(const std::string& setting)
    {
        const std::size_t equals = setting.find('=');
        const std::string name = setting.substr(0, equals), value = setting.substr(equals + 1) + "\n";
        path = "/proc/sys/" + name;
        for (char& c : path)
            c = c == '.' ? '/' : c;
        const std::string lockPath = "/run/lock/firmware-tools-tests.lock";
        if (geteuid() != 0) {
            why = "setting " + name + " needs root: run the tests as root";
            return;
        }
        // Without O_CREAT first: fs.protected_regular refuses it on a file
        // that another user made in the sticky /run/lock.
        lock = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (lock < 0 && errno == ENOENT)
            lock = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (lock < 0)
            why = "the lock " + lockPath + " cannot be opened (" + std::strerror(errno) + "): let root write /run/lock";
        for (int waits = 0; why.empty() && flock(lock, LOCK_EX | LOCK_NB) != 0; ++waits) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                why = "the lock " + lockPath + " cannot be taken (" + std::strerror(errno) + ")";
            else if (waits == 6000)
                why = "another run has held " + lockPath + " for over 120 s: let it end first";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (why.empty() && (saved = readFile(path)).empty())
            why = path + " cannot be read: the kernel lacks " + name;
        if (!why.empty())
            return;
        writeFile(path, value);
        if (readFile(path) != value)
            why = name + " cannot be set here (a read-only /proc/sys): run as root where /proc/sys is writable";
    }
    ~Sysctl()
    {
        if (!saved.empty() && readFile(path) != saved)
            writeFile(path, saved);
        if (lock >= 0)
            (void)close(lock);
    }
    Sysctl(const Sysctl&) = delete;
    Sysctl& operator=(const Sysctl&) = delete;

    std::string path, saved, why;
    int lock = -1;
};

// How each program writes the name a row replaces, where the shell's
// `cat NEW > NAME` writes it in a twin folder; font.bin is in both.
struct Writer {
    const char* name;
    const char* makesNew;  // the bytes it writes, into `new`
    const char* writes;    // the command, the name appended
    int refused;           // its status where `>` is refused
};

const Writer writers[] = {
    {"Trivolta", "trivolta -OCnew", "trivolta -OC", 8},
    {"Glyphrot", "glyphrot -r font.bin new", "glyphrot -r font.bin ", 1},
};

// Every entry's kind, mode, owner, links and size, and every file's ACL,
// extended attributes and inode flags.
const char* const listing = "find . -mindepth 1 -printf '%P %y %m %U %G %n %s\\n' | sort; "
                            "find . -type f | sort | while read -r f; do getfacl -p \"$f\"; "
                            "getfattr -h -d -m - \"$f\"; lsattr -p \"$f\" 2>/dev/null; "
                            "xfs_io -r -c stat \"$f\" 2>/dev/null | grep -E 'projid|extsize'; done 2>&1";

// PATH starts with a folder where `trivolta` and `glyphrot` lead to the
// programs under test, open to all for the rows run as nobody; made when
// the first row runs, not when the tests are only listed.
void putProgramsOnPath()
{
    static std::unique_ptr<const ScratchDir> bin;
    if (bin != nullptr)
        return;
    bin = std::make_unique<const ScratchDir>();
    for (const char* name : {"trivolta", "glyphrot"})
        std::filesystem::create_symlink(
            std::filesystem::absolute(name[0] == 't' ? programPath("TRIVOLTA_PROGRAM", TRIVOLTA_PROGRAM)
                                                     : programPath("GLYPHROT_PROGRAM", GLYPHROT_PROGRAM)),
            bin->file(name));
    (void)chmod(bin->path().c_str(), 0755);
    const char* path = std::getenv("PATH");
    (void)setenv("PATH", (bin->path() + ":" + (path != nullptr ? path : "/usr/bin:/bin")).c_str(), 1);
}

class FaultRow : public ::testing::Test {
public:
    FaultRow(const RowFile& file, const Block& row, const Writer* writer) : file_(file), row_(row), writer_(writer) {}

    void TestBody() override
    {
        putProgramsOnPath();
        std::vector<std::unique_ptr<Sysctl>> settings;  // held until the row ends
        const std::string why = whyItCannotRun(settings);
        if (!why.empty())
            GTEST_SKIP() << why;
        SCOPED_TRACE(file_.path + ":" + std::to_string(row_.line) + ": " + row_["title"]);
        if (writer_ != nullptr)
            replace(*writer_);
        else
            run();
    }

private:
    ProgramResult shell(const std::string& line, const ScratchDir& dir, const std::vector<std::string>& words = {})
    {
        return ::shell(file_.prelude + line, dir.path(), words);
    }

    // What the first need the row lacks here says, or "".
    std::string whyItCannotRun(std::vector<std::unique_ptr<Sysctl>>& settings)
    {
        const ScratchDir probes;
        for (const std::string& need : needsOf(row_)) {
            if (file_.needs.count(need) == 0) {
                settings.push_back(std::make_unique<Sysctl>(need.substr(7)));  // "sysctl fs.NAME=VALUE"
                if (!settings.back()->why.empty())
                    return settings.back()->why;
            } else if (shell(file_.needs.at(need)["probe"], probes).status != 0) {
                return file_.needs.at(need)["reason"];
            }
        }
        return "";
    }

    void run()
    {
        const ScratchDir dir;
        const ProgramResult made = shell(row_["setup"], dir);
        ProgramResult result, check;
        if (made.status == 0) {
            result = shell(row_["run"], dir);
            check = shell("STATUS=" + std::to_string(result.status) + "\n" + row_["check"], dir);
        }
        (void)shell(row_["teardown"], dir);
        ASSERT_EQ(made.status, 0) << "the set-up failed:\n" << made.out << made.err;
        std::istringstream statuses(row_["status"].empty() ? "0" : row_["status"]);
        std::set<int> allowed{std::istream_iterator<int>(statuses), std::istream_iterator<int>()};
        EXPECT_EQ(allowed.count(result.status), 1u) << "status " << result.status << "; standard output:\n"
                                                    << result.out << "\nstandard error:\n"
                                                    << result.err;
        EXPECT_TRUE(sameBytes(unescape(row_["stdout"]), result.out)) << "the run's standard output";
        EXPECT_TRUE(sameBytes(unescape(row_["stderr"]), result.err)) << "the run's standard error";
        EXPECT_TRUE(sameBytes(unescape(row_["state"]), check.out)) << "what the check printed";
        EXPECT_TRUE(sameBytes("", check.err)) << "the check's standard error";
    }

    // The program in one folder, `cat NEW > NAME` in its twin, made alike:
    // the program works where `>` does and writes NEW, else fails; both
    // folders end the same. $0 is the folder of font.bin and `new`.
    void replace(const Writer& writer)
    {
        const ScratchDir content, byProgram, byShell;
        const std::string name = row_["replaces"],
                          umask = "umask " + (row_["umask"].empty() ? "022" : row_["umask"]) + "\n",
                          user = row_["user"] == "nobody" ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        ASSERT_EQ(shell(std::string("head -c 64 /dev/urandom >font.bin && ") + writer.makesNew, content).status, 0);
        int made = 0;
        std::string whyNotMade;
        for (const ScratchDir* dir : {&byProgram, &byShell}) {
            const ProgramResult setup = shell("cp \"$0/font.bin\" . || exit\n" + row_["setup"], *dir, {content.path()});
            made |= setup.status;
            whyNotMade += setup.err;
        }
        ProgramResult result, byCat;
        std::string written, programListing, shellListing;
        if (made == 0) {
            result = shell(umask + "exec " + user + "timeout 10 " + writer.writes + name, byProgram);
            byCat = shell(umask + "exec " + user + "timeout 10 sh -c 'cat >\"$0\"' " + name + " <\"$0/new\"", byShell,
                          {content.path()});
            // Read by its name, and while a mount is still there.
            written = byCat.status == 0 ? shell("cat " + name, byProgram).out : "";
            programListing = shell(listing, byProgram).out;
            shellListing = shell(listing, byShell).out;
        }
        for (const ScratchDir* dir : {&byProgram, &byShell})
            (void)shell(row_["teardown"], *dir);
        ASSERT_EQ(made, 0) << "the set-up failed:\n" << whyNotMade;
        EXPECT_EQ(result.status, byCat.status == 0 ? 0 : writer.refused) << result.out << result.err;
        EXPECT_TRUE(sameBytes(byCat.status == 0 ? readFile(content.file("new")) : "", written));
        EXPECT_TRUE(sameBytes(shellListing, programListing)) << "the twin folders differ";
    }

    const RowFile& file_;
    const Block& row_;
    const Writer* writer_;
};

}  // namespace

int main(int argc, char** argv)
{
    try {
        ::testing::InitGoogleTest(&argc, argv);
        static const RowFile file = readRows(FAULT_ROWS);
        // For the rows: golden files, and what the programs were built with.
        (void)setenv("SOURCE_DIR", SOURCE_DIR, 1);
        (void)setenv("REPLACE_SYSTEM", REPLACE_SYSTEM, 1);
#if defined(__SANITIZE_ADDRESS__)
        (void)setenv("ADDRESS_SANITIZER", "1", 1);
#endif
        std::set<std::string> names;
        for (const Block& row : file.rows) {
            std::vector<const Writer*> runs{nullptr};
            if (!row["replaces"].empty())
                runs = {&writers[0], &writers[1]};
            for (const Writer* writer : runs) {
                const std::string name =
                    testName(row["title"]) + (writer != nullptr ? "_" + std::string(writer->name) : "");
                if (!names.insert(name).second || name.empty() || name[0] == '_')
                    throw std::runtime_error(file.path + ":" + std::to_string(row.line) +
                                             ": no title, or a second test named " + name);
                ::testing::RegisterTest(
                    "Faults", name.c_str(), nullptr, nullptr, FAULT_ROWS, row.line,
                    [&row, writer]() -> ::testing::Test* { return new FaultRow(file, row, writer); });
            }
        }
        return RUN_ALL_TESTS();
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
}
