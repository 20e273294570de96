// Times the compressor's whole pass over each skin as a user runs it: the
// Tessel program in a fresh process per run, beside `zstd -19` on the same
// file, the two in turn so that a drift of the machine's speed reaches both.
// Prints the median CPU time (user + system) of each, the median of the
// ratios of the pairs, and Tessel's minor page faults:
//   whole_pass_bench [runs] [skin.prc ...]
// Without skins it takes the sample skin, every skin of the corpus, and a skin
// of interface bitmaps that it writes from the generated input classes.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input_classes.h"
#include "skin_builder.h"

namespace {

// The three kinds of flat interface bitmaps, full-screen, in one skin.
std::filesystem::path writeInterfaceSkin(const std::filesystem::path& folder) {
    skinbuilder::DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("Interface skin");
    layout.resources = {
        {"abmp", 31000, inputclasses::bandedGradient(320, 480)},
        {"abmp", 31001, inputclasses::shapesOnFlatGround(320, 480)},
        {"abmp", 31002, inputclasses::interfacePanel(320, 480, 8)},
    };
    const skinbuilder::Bytes bytes = skinbuilder::buildDatabase(layout);
    const std::filesystem::path path = folder / "interface-skin.prc";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

struct ChildCost {
    bool ran = false;  // started and ended with status 0
    double cpuSeconds = 0;
    long minorFaults = 0;
};

// Runs the program (looked up in PATH when it has no slash) with its output
// thrown away, and reads the system's account of what the child used.
ChildCost runChild(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        return {};
    }
    if (child == 0) {
        const int nothing = ::open("/dev/null", O_RDWR);
        ::dup2(nothing, STDIN_FILENO);
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child) {
        return {};
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    ChildCost cost;
    cost.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    cost.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    cost.minorFaults = usage.ru_minflt;
    return cost;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 11;
    int first = 1;
    if (argc > 1 && std::atoi(argv[1]) > 0) {
        runs = std::atoi(argv[1]);
        first = 2;
    }
    const std::filesystem::path scratch = std::filesystem::temp_directory_path();
    std::vector<std::filesystem::path> skins(argv + first, argv + argc);
    std::filesystem::path generated;
    if (skins.empty()) {
        skins.push_back(SAMPLE_SKIN_PATH);
        const std::vector<std::filesystem::path> corpus = inputclasses::skinsIn(CORPUS_DIR);
        skins.insert(skins.end(), corpus.begin(), corpus.end());
        generated = writeInterfaceSkin(scratch);
        skins.push_back(generated);
    }
    const std::string tesselOut = (scratch / "whole_pass_bench.prc").string();
    const std::string zstdOut = (scratch / "whole_pass_bench.zst").string();

    std::printf("| skin | bytes | Tessel (ms) | zstd -19 (ms) | Tessel / zstd | minor faults |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (const std::filesystem::path& skin : skins) {
        std::vector<double> tessel;
        std::vector<double> zstd;
        std::vector<double> ratios;
        std::vector<double> faults;
        for (int run = 0; run <= runs; ++run) {
            const ChildCost a = runChild({TESSEL_PATH, skin.string(), tesselOut});
            const ChildCost b = runChild({"zstd", "-19", "-f", "-q", "-o", zstdOut, skin.string()});
            if (run == 0) {
                continue;  // a warm-up: the files and programs into the cache
            }
            if (a.ran) {
                tessel.push_back(a.cpuSeconds);
                faults.push_back(static_cast<double>(a.minorFaults));
            }
            if (b.ran) {
                zstd.push_back(b.cpuSeconds);
            }
            if (a.ran && b.ran && b.cpuSeconds > 0) {
                ratios.push_back(a.cpuSeconds / b.cpuSeconds);
            }
        }
        if (tessel.empty()) {
            std::printf("| %s | | Tessel failed | | | |\n", skin.filename().string().c_str());
            continue;
        }
        const auto bytes = static_cast<unsigned long long>(std::filesystem::file_size(skin));
        if (zstd.empty()) {
            std::printf("| %s | %llu | %.1f | (no zstd) | | %.0f |\n",
                        skin.filename().string().c_str(), bytes, 1000 * median(tessel),
                        median(faults));
            continue;
        }
        std::printf("| %s | %llu | %.1f | %.1f | %.2f | %.0f |\n", skin.filename().string().c_str(),
                    bytes, 1000 * median(tessel), 1000 * median(zstd), median(ratios),
                    median(faults));
    }
    std::filesystem::remove(tesselOut);
    std::filesystem::remove(zstdOut);
    if (!generated.empty()) {
        std::filesystem::remove(generated);
    }
    return 0;
}
