// Times whole runs of "glyphrot -r -m" on one large file, into a second
// file and in place, each paired with the same work done by hand and
// alternating with it:
// - into a second file: "dd bs=1M" of the input into a new file;
// - in place: "dd bs=1M" of the file into a new file beside it, then "mv"
//   of that over the file, which is what replacing it takes.
// dd copies by reading and writing, as glyphrot does; cat and cp may share
// blocks instead (copy_file_range on xfs and btrfs), which is not the same
// work. Reports the median ratios against the target, the file system, and
// the peak resident memory of glyphrot.
//
//   glyphrot_vs_cat GLYPHROT [MiB] [runs]
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

const double timeTarget = 1.10;  // at most this many times the work by hand
const double memoryTargetMiB = 8;

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

bool copyWithDd(const std::string& from, const std::string& to)
{
    return timeRun({"dd", "if=" + from, "of=" + to, "bs=1M", "status=none"}).status == 0;
}

struct Mode {
    const char* title = "";
    const char* byHand = "";
    std::vector<double> ratios, glyphrotSeconds, byHandSeconds;
    long peakKiB = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: %s GLYPHROT [MiB] [runs]\n", argv[0]);
        return 2;
    }
    const std::string glyphrot = argv[1];
    const std::size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 128;
    // A run into a second file takes some 30 ms: with 9 pairs the median
    // ratio of one file system moved by up to 0.19 from one bench to the
    // next, with 31 by 0.04 on a quiet machine.
    const int runs = argc > 3 ? static_cast<int>(std::strtol(argv[3], nullptr, 10)) : 31;
    const std::size_t size = mebibytes << 20;

    // TMPDIR chooses the file system measured.
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

    Mode separate;
    separate.title = "into a second file";
    separate.byHand = "dd bs=1M into a new file";
    Mode inPlace;
    inPlace.title = "in place";
    inPlace.byHand = "dd bs=1M into a new file, then mv over the old";
    const std::string second = folder + "/second.bin";
    const std::string file = folder + "/in-place.bin";
    // The first round warms the page cache and is not counted.
    for (int run = 0; run < runs + 1; ++run) {
        for (Mode* mode : {&separate, &inPlace}) {
            // Each timed run starts from the same state: the output absent
            // (a second file) or a fresh copy of the input (in place).
            Timing converted;
            Timing byHand;
            if (mode == &separate) {
                (void)std::remove(second.c_str());
                converted = timeRun({glyphrot, "-r", "-m", input, second});
                (void)std::remove(second.c_str());
                byHand = timeRun({"dd", "if=" + input, "of=" + second, "bs=1M", "status=none"});
            } else {
                if (!copyWithDd(input, file))
                    return 1;
                converted = timeRun({glyphrot, "-r", "-m", file});
                if (!copyWithDd(input, file))
                    return 1;
                byHand = timeRun(
                    {"sh", "-c", "dd if=\"$1\" of=\"$1.new\" bs=1M status=none && mv \"$1.new\" \"$1\"", "sh", file});
            }
            if (converted.status != 0 || byHand.status != 0) {
                (void)std::fprintf(stderr, "a run failed: glyphrot %d, by hand %d\n", converted.status, byHand.status);
                return 1;
            }
            if (run == 0)
                continue;
            mode->ratios.push_back(converted.seconds / byHand.seconds);
            mode->glyphrotSeconds.push_back(converted.seconds);
            mode->byHandSeconds.push_back(byHand.seconds);
            mode->peakKiB = std::max(mode->peakKiB, converted.peakKiB);
        }
    }

    std::printf("glyphrot -r -m on a %zu MiB file on %s (TMPDIR chooses): %d pairs of runs in each mode, each run\n"
                "of glyphrot paired with the same work done by hand and alternating with it; wall times are\n"
                "medians, and the ratio is the median of the pairs' ratios, glyphrot over by hand.\n",
                mebibytes, fileSystemOf(folder).c_str(), runs);
    bool met = true;
    for (const Mode* mode : {&separate, &inPlace}) {
        const double ratio = median(mode->ratios);
        const double peakMiB = static_cast<double>(mode->peakKiB) / 1024.0;
        met = met && ratio <= timeTarget && peakMiB <= memoryTargetMiB;
        std::printf("%s\n  glyphrot -r -m: %.1f ms\n  by hand, %s: %.1f ms\n"
                    "  ratio %.2f, target at most %.2f: %s\n"
                    "  peak resident memory of glyphrot %.1f MiB, target at most %.0f MiB: %s\n",
                    mode->title, median(mode->glyphrotSeconds) * 1e3, mode->byHand, median(mode->byHandSeconds) * 1e3,
                    ratio, timeTarget, ratio <= timeTarget ? "met" : "NOT MET", peakMiB, memoryTargetMiB,
                    peakMiB <= memoryTargetMiB ? "met" : "NOT MET");
    }
    std::printf(met ? "every target met\n" : "a target NOT MET\n");

    for (const std::string& name : {input, second, file, file + ".new"})
        (void)std::remove(name.c_str());
    rmdir(folder.c_str());
    return 0;
}
