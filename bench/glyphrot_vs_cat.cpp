// Times whole runs of "glyphrot -r -m", each paired with the same work done
// by hand and alternating with it: a new file beside the output, then "mv"
// over it, which is what replacing it takes. The new file is made by "cp"
// for a 2 KiB font converted in place, and by "dd bs=1M" for a large file,
// into a second file and in place: dd copies by reading and writing, as
// glyphrot does, where cat and cp may share blocks instead (copy_file_range
// on xfs and btrfs), which is not the same work. The 2 KiB font is also
// converted against BARE, the bare replacement (bare_replace.c: open, read,
// write a new file, close, rename, nothing checked or kept). Reports the
// median ratios against their targets, the file system, and the peak
// resident memory of glyphrot.
//
//   glyphrot_vs_cat GLYPHROT [MiB] [runs] [BARE]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/vfs.h>
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

// Runs argv and times it to its end, after a sync so that the writeback of
// earlier runs is not counted against it.
Timing timeRun(const std::vector<std::string>& words)
{
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    sync();
    const auto start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Timing timing;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
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

std::string fileSystemOf(const std::string& folder)
{
    struct statfs status {};
    if (statfs(folder.c_str(), &status) != 0)
        return "unknown";
    switch (static_cast<unsigned long>(status.f_type)) {
    case 0xEF53UL:
        return "ext4";
    case 0x58465342UL:
        return "xfs";
    case 0x9123683EUL:
        return "btrfs";
    case 0x01021994UL:
        return "tmpfs";
    case 0x794C7630UL:
        return "overlayfs";
    default: {
        char hex[32];
        (void)std::snprintf(hex, sizeof hex, "type 0x%lx", static_cast<unsigned long>(status.f_type));
        return hex;
    }
    }
}

// One way of running glyphrot against the same work done by hand.
struct Mode {
    const char* title;
    const char* byHand;
    std::size_t size;   // of the font
    bool bare;          // by hand is the bare replacement, else a shell line
    bool inPlace;       // else into a second file
    double timeTarget;  // at most this many times the work by hand
    std::vector<double> ratios, glyphrotSeconds, byHandSeconds;
    long peakKiB = 0;
};

bool writeFont(const std::string& name, std::size_t size)
{
    std::vector<std::uint64_t> words((size + 7) / 8);
    std::mt19937_64 random(1);
    for (std::uint64_t& word : words)
        word = random();
    std::FILE* file = std::fopen(name.c_str(), "wb");
    return file != nullptr && std::fwrite(words.data(), 1, size, file) == size && std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: %s GLYPHROT [MiB] [runs] [BARE]\n", argv[0]);
        return 2;
    }
    const std::string glyphrot = argv[1];
    const std::size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 128;
    // A run into a second file takes some 30 ms: with 9 pairs the median
    // ratio of one file system moved by up to 0.19 from one bench to the
    // next, with 31 by 0.04 on a quiet machine.
    const int runs = argc > 3 ? static_cast<int>(std::strtol(argv[3], nullptr, 10)) : 31;
    const std::string bare = argc > 4 ? argv[4] : "";

    // TMPDIR chooses the file system measured.
    const char* base = std::getenv("TMPDIR");
    std::string folderName = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/glyphrot-bench.XXXXXX";
    if (mkdtemp(folderName.data()) == nullptr)
        return 1;
    const std::string folder = folderName;
    const std::string input = folder + "/font.bin";
    const std::string output = folder + "/out.bin";
    // A font of 256 glyphs, and a large file for the cost of every byte.
    Mode modes[] = {
        {"a 2 KiB font in place", "cp into a new file, then mv over the old", 2048, false, true, 1.0, {}, {}, {}},
        {"a 2 KiB font in place", "the bare replacement", 2048, true, true, 1.5, {}, {}, {}},
        {"into a second file", "dd bs=1M into a new file", mebibytes << 20, false, false, 1.5, {}, {}, {}},
        {"in place", "dd bs=1M into a new file, then mv over the old", mebibytes << 20, false, true, 1.5, {}, {}, {}},
    };
    for (Mode& mode : modes) {
        if (mode.bare && bare.empty())
            continue;
        if (!writeFont(input, mode.size))
            return 1;
        const char* copy =
            mode.size < (1 << 20) ? "cp \"$1\" \"$2.new\"" : "dd if=\"$1\" of=\"$2.new\" bs=1M status=none";
        const std::vector<std::string> byHand =
            mode.bare ? std::vector<std::string>{bare, output}
                      : std::vector<std::string>{"sh", "-c",  std::string(copy) + " && mv \"$2.new\" \"$2\"",
                                                 "sh", input, output};
        // The first round warms the page cache and is not counted. Each
        // timed run starts from the same state: a fresh copy of the input
        // in place, the output absent otherwise.
        for (int run = 0; run < runs + 1; ++run) {
            const auto prepare = [&] {
                (void)std::remove(output.c_str());
                return !mode.inPlace || timeRun({"cp", input, output}).status == 0;
            };
            if (!prepare())
                return 1;
            const Timing converted =
                mode.inPlace ? timeRun({glyphrot, "-r", "-m", output}) : timeRun({glyphrot, "-r", "-m", input, output});
            if (!prepare())
                return 1;
            const Timing done = timeRun(byHand);
            if (converted.status != 0 || done.status != 0) {
                (void)std::fprintf(stderr, "a run failed: glyphrot %d, by hand %d\n", converted.status, done.status);
                return 1;
            }
            if (run == 0)
                continue;
            mode.ratios.push_back(converted.seconds / done.seconds);
            mode.glyphrotSeconds.push_back(converted.seconds);
            mode.byHandSeconds.push_back(done.seconds);
            mode.peakKiB = std::max(mode.peakKiB, converted.peakKiB);
        }
    }

    std::printf("glyphrot -r -m on %s (TMPDIR chooses): %d pairs of runs in each mode, each run of glyphrot\n"
                "paired with the same work done by hand and alternating with it; wall times are medians, and\n"
                "the ratio is the median of the pairs' ratios, glyphrot over by hand. Peak memory may be the\n"
                "font's size and 16 MiB more.\n",
                fileSystemOf(folder).c_str(), runs);
    bool met = true;
    for (const Mode& mode : modes) {
        if (mode.ratios.empty())
            continue;
        const double ratio = median(mode.ratios);
        const double peakMiB = static_cast<double>(mode.peakKiB) / 1024.0;
        const double memoryTarget = static_cast<double>(mode.size) / (1 << 20) + 16;
        met = met && ratio <= mode.timeTarget && peakMiB <= memoryTarget;
        std::printf("%s (%zu bytes)\n  glyphrot -r -m: %.2f ms\n  by hand, %s: %.2f ms\n"
                    "  ratio %.2f, target at most %.2f: %s\n"
                    "  peak resident memory of glyphrot %.1f MiB, target at most %.1f MiB: %s\n",
                    mode.title, mode.size, median(mode.glyphrotSeconds) * 1e3, mode.byHand,
                    median(mode.byHandSeconds) * 1e3, ratio, mode.timeTarget,
                    ratio <= mode.timeTarget ? "met" : "NOT MET", peakMiB, memoryTarget,
                    peakMiB <= memoryTarget ? "met" : "NOT MET");
    }
    std::printf(met ? "every target met\n" : "a target NOT MET\n");

    for (const std::string& name : {input, output, output + ".new"})
        (void)std::remove(name.c_str());
    rmdir(folder.c_str());
    return 0;
}
