#include "table_run.h"

#include "shell_words.h"
#include "trivolta/phase_table.h"
#include "trivolta/run.h"

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Removes the files of a run's folder, then the folder.
void removeFolder(const std::string& folder)
{
    if (DIR* entries = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(entries)) {
            const std::string name = entry->d_name;
            std::string path = folder;
            path += '/';
            if (name != "." && name != "..")
                (void)std::remove(path.append(name).c_str());
        }
        closedir(entries);
    }
    (void)rmdir(folder.c_str());
}

// The first regular file of `folder`, if there is one.
bool readLeftFile(const std::string& folder, std::string& name, std::string& bytes)
{
    DIR* entries = opendir(folder.c_str());
    bool found = false;
    while (entries != nullptr && !found) {
        const dirent* entry = readdir(entries);
        if (entry == nullptr)
            break;
        const std::string path = folder + "/" + entry->d_name;
        struct stat status {};
        if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            std::ifstream file(path, std::ios::binary);
            name = entry->d_name;
            bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            found = true;
        }
    }
    if (entries != nullptr)
        closedir(entries);
    return found;
}

}  // namespace

TableRun runTableLine(const std::string& line)
{
    static unsigned runs = 0;
    static std::string previousFolder;
    TableRun run;
    const ShellWords split = splitShellWords(line);
    if (!split.error.empty()) {
        run.lineError = split.error;
        return run;
    }
    std::vector<std::string> arguments{"trivolta"};
    arguments.insert(arguments.end(), split.words.begin(), split.words.end());

    (void)mkdir("/runs", 0755);
    const std::string folder = "/runs/" + std::to_string(++runs);
    if (mkdir(folder.c_str(), 0755) != 0 || chdir(folder.c_str()) != 0) {
        run.lineError = "the page could not make a folder for the run";
        return run;
    }
    if (!previousFolder.empty())
        removeFolder(previousFolder);
    previousFolder = folder;

    // As trivolta's main: a message lost on the console fails the run too.
    std::clearerr(stdout);
    run.status = runGenerator(arguments, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        run.status |= ErrorOutput;

    run.leftFile = readLeftFile(folder, run.fileName, run.fileBytes);
    if (run.leftFile) {
        GeneratorSettings settings;
        parseCommandLine(arguments, settings);
        run.table = computePhaseTable(settings);
        run.pins = {settings.pinA, settings.pinB, settings.pinC};
    }
    return run;
}

std::vector<std::string> statusCauses(unsigned status)
{
    // The README's words, from its table of trivolta's exit status.
    static const std::pair<unsigned, const char*> causes[] = {
        {ErrorPins, "two phases have the same bit number"},
        {ErrorPeriodOdd, "the period is odd"},
        {ErrorShiftTooBig, "the period is less than 3 × shift"},
        {ErrorOutput, "the table did not reach the file whole, the file changed meanwhile, a descriptor name the "
                      "caller did not hand over, or a message was lost"},
    };
    std::vector<std::string> list;
    for (const auto& [bit, words] : causes)
        if ((status & bit) != 0)
            list.push_back(std::to_string(bit) + ": " + words);
    return list;
}
