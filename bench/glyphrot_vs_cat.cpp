// Times whole runs of "glyphrot -r -m" on one large file, into a second
// file and in place, each paired with "cat in > out" of the same file and
// alternating with it, and reports the median ratios and the peak resident
// memory of glyphrot. Then times the steps of a run in-process, to show where
// the time goes.
//
//   glyphrot_vs_cat GLYPHROT [MiB] [runs]
#include "glyph_cell.h"
#include "platform.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs argv with standard output into `outPath` when it is not empty, after
// removing `removed` (when not empty); then, within the timing, renames
// `outPath` to `renamedTo` when that is not empty.
Timing timeRun(const std::vector<std::string>& words, const std::string& outPath, const std::string& removed,
               const std::string& renamedTo = "")
{
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    // Each run writes a new file on a quiet disk: removing the old output and
    // the writeback of earlier runs are not the timed program's work.
    if (!removed.empty())
        std::remove(removed.c_str());
    sync();
    const auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (!outPath.empty()) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || dup2(out, 1) < 0)
                _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Timing timing;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        if (!renamedTo.empty() && std::rename(outPath.c_str(), renamedTo.c_str()) != 0)
            status = 1 << 8;
        timing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        timing.peakKiB = usage.ru_maxrss;
        timing.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    return timing;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The steps of a run, each timed on its own over the whole file: reading,
// the transform, and writing a new file.
void timeSteps(const std::string& input, const std::string& output, std::size_t size)
{
    sync();
    auto start = Clock::now();
    std::uint8_t* buffer = allocateBuffer(size);
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (buffer == nullptr || in == nullptr || std::fread(buffer, 1, size, in) != size) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        std::exit(1);
    }
    std::fclose(in);
    const double readSeconds = secondsSince(start);

    start = Clock::now();
    transformGlyphs(buffer, buffer, size, true, true);
    const double transformSeconds = secondsSince(start);

    start = Clock::now();
    std::FILE* out = std::fopen(output.c_str(), "wb");
    bool written = out != nullptr && std::fwrite(buffer, 1, size, out) == size;
    written = out != nullptr && std::fclose(out) == 0 && written;
    const double writeSeconds = secondsSince(start);
    if (!written)
        std::fprintf(stderr, "cannot write %s\n", output.c_str());

    std::printf("steps: read %.1f ms, transform %.1f ms (%.2f GB/s), write %.1f ms\n", readSeconds * 1e3,
                transformSeconds * 1e3, static_cast<double>(size) / transformSeconds / 1e9, writeSeconds * 1e3);
    releaseBuffer(buffer);
}

bool copyFile(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = std::fopen(to.c_str(), "wb");
    std::vector<char> piece(1 << 20);
    bool copied = in != nullptr && out != nullptr;
    while (copied) {
        const std::size_t got = std::fread(piece.data(), 1, piece.size(), in);
        copied = std::fwrite(piece.data(), 1, got, out) == got;
        if (got < piece.size())
            break;
    }
    if (in != nullptr)
        std::fclose(in);
    if (out != nullptr)
        copied = std::fclose(out) == 0 && copied;
    return copied;
}

struct Mode {
    const char* title = "";
    std::vector<double> ratios, glyphrotSeconds, catSeconds;
    // In place only: cat into a new file renamed over a copy of the input,
    // the same replacement done by hand.
    std::vector<double> replaceRatios, replaceSeconds;
    long peakKiB = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s GLYPHROT [MiB] [runs]\n", argv[0]);
        return 2;
    }
    const std::string glyphrot = argv[1];
    const std::size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 128;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 9;
    const std::size_t size = mebibytes << 20;

    // TMPDIR chooses the file system measured (the figures differ a lot
    // between ext4 and tmpfs, for instance).
    const char* base = std::getenv("TMPDIR");
    std::string folderName = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/glyphrot-bench.XXXXXX";
    if (mkdtemp(folderName.data()) == nullptr)
        return 1;
    const std::string folder = folderName;
    const std::string input = folder + "/font.bin";
    {
        std::vector<std::uint64_t> words(size / 8);
        std::mt19937_64 random(1);
        for (std::uint64_t& word : words)
            word = random();
        std::FILE* file = std::fopen(input.c_str(), "wb");
        if (file == nullptr || std::fwrite(words.data(), 8, words.size(), file) != words.size() ||
            std::fclose(file) != 0)
            return 1;
    }

    // Pairs of runs, alternating: glyphrot into a second file, cat, glyphrot
    // in place on a fresh copy (made before the timing starts), cat.
    Mode separate;
    separate.title = "into a second file";
    Mode inPlace;
    inPlace.title = "in place";
    const std::string copy = folder + "/in-place.bin";
    for (int run = 0; run < runs + 1; ++run) {
        for (Mode* mode : {&separate, &inPlace}) {
            std::vector<std::string> words{glyphrot, "-r", "-m", input, folder + "/converted.bin"};
            std::string removed = folder + "/converted.bin";
            if (mode == &inPlace) {
                if (!copyFile(input, copy))
                    return 1;
                words = {glyphrot, "-r", "-m", copy};
                removed.clear();
            }
            Timing converted = timeRun(words, "", removed);
            Timing copied = timeRun({"cat", input}, folder + "/copied.bin", folder + "/copied.bin");
            if (converted.status != 0 || copied.status != 0) {
                std::fprintf(stderr, "a run failed: glyphrot %d, cat %d\n", converted.status, copied.status);
                return 1;
            }
            if (run == 0)
                continue;  // warm-up: the file is now in the page cache
            if (mode == &inPlace) {
                const std::string byHand = folder + "/by-hand.bin";
                if (!copyFile(input, byHand))
                    return 1;
                Timing replaced = timeRun({"cat", input}, folder + "/copied.bin", "", byHand);
                if (replaced.status != 0)
                    return 1;
                mode->replaceSeconds.push_back(replaced.seconds);
                mode->replaceRatios.push_back(converted.seconds / replaced.seconds);
            }
            mode->ratios.push_back(converted.seconds / copied.seconds);
            mode->glyphrotSeconds.push_back(converted.seconds);
            mode->catSeconds.push_back(copied.seconds);
            mode->peakKiB = std::max(mode->peakKiB, converted.peakKiB);
        }
    }

    std::printf("file: %zu MiB, %d pairs of runs in each mode, alternating\n", mebibytes, runs);
    for (const Mode* mode : {&separate, &inPlace}) {
        std::printf("%s: median wall time glyphrot -r -m %.1f ms, cat %.1f ms; median ratio %.2f (target at most "
                    "1.30); peak resident memory %.1f MiB (target at most 32)\n",
                    mode->title, median(mode->glyphrotSeconds) * 1e3, median(mode->catSeconds) * 1e3,
                    median(mode->ratios), mode->peakKiB / 1024.0);
    }
    std::printf("in place against cat into a new file renamed over the old one: %.1f ms, median ratio %.2f\n",
                median(inPlace.replaceSeconds) * 1e3, median(inPlace.replaceRatios));
    timeSteps(input, folder + "/steps.bin", size);

    for (const char* name :
         {"/font.bin", "/converted.bin", "/copied.bin", "/steps.bin", "/in-place.bin", "/by-hand.bin"})
        std::remove((folder + name).c_str());
    rmdir(folder.c_str());
    return 0;
}
