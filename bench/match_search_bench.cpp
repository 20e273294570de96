// Times the plain scan, the fast search and, as a reference point, zstd at
// level 19 on the same inputs, and prints a table of the results:
//   match_search_bench [corpus folder] [Google Benchmark flags]
#include <benchmark/benchmark.h>

#if HAVE_ZSTD
#include <zstd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "encoder_workspace.h"
#include "input_classes.h"
#include "marker_lz.h"
#include "resource_database.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Input {
    std::string name;
    Bytes bytes;
};

std::vector<Input> corpusBitmaps(const std::filesystem::path& folder) {
    std::vector<Input> inputs;
    for (const auto& file : inputclasses::skinsIn(folder)) {
        std::ifstream in(file, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const prc::DatabaseParse parse = prc::parseResourceDatabase(bytes);
        if (!parse.table) {
            continue;
        }
        for (const prc::ResourceEntry& resource : parse.table->entries) {
            if (resource.type == prc::typeCode("abmp")) {
                inputs.push_back(
                    {"corpus " + file.stem().string() + " " + std::to_string(resource.id),
                     resource.data});
            }
        }
    }
    return inputs;
}

std::vector<Input> generatedInputs() {
    using namespace inputclasses;
    std::vector<Input> inputs = {
        {"flat colour 320x480", flatColour(320, 480)},
        {"gradient 320x480", gradient(320, 480)},
        {"random bytes 300K", randomBytes(307200, 1)},
        {"fibonacci word 300K", fibonacciWord(307200)},
        {"tiled sprites 320x480", tiledSprites(320, 480, 3)},
        {"beyond the window 500K", beyondTheWindow(500000, 4)},
        {"banded gradient 320x480", bandedGradient(320, 480)},
        {"shapes on white 320x480", shapesOnFlatGround(320, 480)},
        {"interface panel 320x480", interfacePanel(320, 480, 8)},
    };
    for (std::size_t period : {1, 2, 3, 4, 7, 16, 31, 64}) {
        inputs.push_back({"periodic " + std::to_string(period) + " 300K",
                          periodic(307200, period, static_cast<std::uint32_t>(period))});
    }
    // The classes that are each given at 300 KB and at 1.2 MB: 16-bit ones at
    // 320x480 and 640x960, the 2-bit one at 1280x960 and 2560x1920.
    for (const int scale : {1, 2}) {
        const std::size_t n = 307200 * scale * scale;
        const std::string size = scale == 1 ? " 300K" : " 1.2M";
        const int width = 320 * scale;
        const int height = 480 * scale;
        inputs.push_back({"two values" + size, randomTwoValues(n, 2)});
        const std::pair<std::size_t, std::size_t> nearPeriods[] = {
            {2, 200}, {3, 96}, {4, 128}, {5, 160}, {6, 64}};
        for (const auto& [period, spacing] : nearPeriods) {
            inputs.push_back(
                {"period " + std::to_string(period) + ", 1 in " + std::to_string(spacing) + size,
                 nearPeriodic(n, period, spacing, static_cast<std::uint32_t>(period))});
        }
        inputs.push_back({"ordered dither" + size, orderedDither(width, height)});
        inputs.push_back({"speckled 1 in 8" + size, speckledColour(width, height, 8, 5)});
        inputs.push_back({"speckled 1 in 32" + size, speckledColour(width, height, 32, 6)});
        inputs.push_back({"2-bit diffusion" + size, errorDiffusion2Bit(4 * width, 2 * height)});
        inputs.push_back({"varied sprites" + size, variedSprites(width, height, 7)});
    }
    return inputs;
}

enum class Method { plain, fast, zstd };

// The fast search keeps its workspace from one encoding to the next, as the
// compressor's pass does from bitmap to bitmap.
void encode(benchmark::State& state, const Bytes* input, Method method) {
    Bytes stream(bitmapcodec::markerLzStreamBound(input->size()));
    bitmapcodec::EncoderWorkspace workspace;
    for (auto _ : state) {
        const std::uint32_t size =
            method == Method::plain
                ? bitmapcodec::markerLzEncodePlainScan(*input, stream,
                                                       bitmapcodec::kBitmapMaxDistance)
                : bitmapcodec::markerLzEncode(*input, stream, bitmapcodec::kBitmapMaxDistance,
                                              workspace);
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->size()));
}

#if HAVE_ZSTD
void compressWithZstd(benchmark::State& state, const Bytes* input) {
    Bytes out(ZSTD_compressBound(input->size()));
    ZSTD_CCtx* context = ZSTD_createCCtx();
    for (auto _ : state) {
        const std::size_t size =
            ZSTD_compressCCtx(context, out.data(), out.size(), input->data(), input->size(), 19);
        benchmark::DoNotOptimize(size);
    }
    ZSTD_freeCCtx(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->size()));
}
#endif

// The fast search and zstd are timed in repetitions that run in random order
// among all the others, and their median is taken: the machine's speed
// drifts over the minutes of a run, and without this a class's two sizes, or
// an input's search and zstd, could be timed at different speeds.
constexpr int kRepetitions = 7;
constexpr double kSecondsPerRepetition = 0.2;

// Collects the time of every run (the median of the repeated ones) so that
// the ratios can be printed last.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                seconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

  private:
    std::map<std::string, double> seconds_;
};

// A filter may leave out the plain scan (it takes most of a whole run) or
// zstd: their columns are then empty.
void printRow(const std::string& name, const std::string& bytes, double plain, double fast,
              double zstd) {
    const auto cell = [](double value, const char* format) {
        char text[32] = "";
        if (value > 0) {
            std::snprintf(text, sizeof text, format, value);
        }
        return std::string(text);
    };
    std::printf("| %s | %s | %s | %.2f | %s | %s | %s |\n", name.c_str(), bytes.c_str(),
                cell(plain, "%.1f").c_str(), fast, cell(zstd, "%.2f").c_str(),
                cell(plain / fast, "%.1f").c_str(),
                cell(zstd > 0 ? fast / zstd : 0, "%.2f").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path corpus = CORPUS_DIR;
    if (argc > 1 && argv[1][0] != '-') {
        corpus = argv[1];
        --argc;
        ++argv;
    }
    std::vector<Input> inputs = corpusBitmaps(corpus);
    const std::size_t corpusCount = inputs.size();
    for (Input& input : generatedInputs()) {
        inputs.push_back(std::move(input));
    }
    for (const Input& input : inputs) {
        // The plain scan takes seconds on a large input: one iteration is enough.
        benchmark::RegisterBenchmark(("plain/" + input.name).c_str(), encode, &input.bytes,
                                     Method::plain)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark(("fast/" + input.name).c_str(), encode, &input.bytes,
                                     Method::fast)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(kRepetitions)
            ->MinTime(kSecondsPerRepetition)
            ->ReportAggregatesOnly(true);
#if HAVE_ZSTD
        benchmark::RegisterBenchmark(("zstd/" + input.name).c_str(), compressWithZstd, &input.bytes)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(kRepetitions)
            ->MinTime(kSecondsPerRepetition)
            ->ReportAggregatesOnly(true);
#endif
    }
    // Given first, so that a flag on the command line still overrides it.
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

#if !HAVE_ZSTD
    std::printf("\n(built without libzstd: no zstd column)\n");
#endif
    double plainCorpus = 0;
    double fastCorpus = 0;
    double zstdCorpus = 0;
    std::printf(
        "\n| input | bytes | plain scan (ms) | fast search (ms) | zstd -19 (ms) | plain / fast "
        "| fast / zstd |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    std::map<std::string, double> fastByName;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const double plain = reporter.seconds("plain/" + inputs[i].name);
        const double fast = reporter.seconds("fast/" + inputs[i].name);
        const double zstd = reporter.seconds("zstd/" + inputs[i].name);
        if (fast == 0) {
            continue;  // filtered out
        }
        fastByName[inputs[i].name] = fast;
        if (i < corpusCount) {
            plainCorpus += plain;
            fastCorpus += fast;
            zstdCorpus += zstd;
        }
        printRow(inputs[i].name, std::to_string(inputs[i].bytes.size()), plain, fast, zstd);
    }
    if (fastCorpus > 0) {
        printRow("all corpus bitmaps", "", plainCorpus, fastCorpus, zstdCorpus);
    }
    std::printf("\n| class | fast search, 300 KB (ms) | 1.2 MB (ms) | growth |\n");
    std::printf("|---|---:|---:|---:|\n");
    for (const auto& [name, fast] : fastByName) {
        const std::size_t at = name.rfind(" 300K");
        if (at == std::string::npos || at + 5 != name.size()) {
            continue;
        }
        const auto larger = fastByName.find(name.substr(0, at) + " 1.2M");
        if (larger != fastByName.end()) {
            std::printf("| %s | %.2f | %.2f | %.1f |\n", name.substr(0, at).c_str(), fast,
                        larger->second, larger->second / fast);
        }
    }
    benchmark::Shutdown();
    return 0;
}
