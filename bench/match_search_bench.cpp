// Times the plain scan and the fast search on the same inputs and prints the
// ratio per input:  match_search_bench [corpus folder] [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

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
    if (!std::filesystem::is_directory(folder)) {
        return inputs;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".prc") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
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
        {"two values 300K", randomTwoValues(307200, 2)},
        {"fibonacci word 300K", fibonacciWord(307200)},
        {"tiled sprites 320x480", tiledSprites(320, 480, 3)},
        {"beyond the window 500K", beyondTheWindow(500000, 4)},
    };
    for (std::size_t period : {1, 2, 3, 4, 7, 16, 31, 64}) {
        inputs.push_back({"periodic " + std::to_string(period) + " 300K",
                          periodic(307200, period, static_cast<std::uint32_t>(period))});
    }
    return inputs;
}

void encode(benchmark::State& state, const Bytes* input, bool plain) {
    Bytes stream(bitmapcodec::markerLzStreamBound(input->size()));
    for (auto _ : state) {
        const std::uint32_t size =
            plain ? bitmapcodec::markerLzEncodePlainScan(*input, stream,
                                                         bitmapcodec::kBitmapMaxDistance)
                  : bitmapcodec::markerLzEncode(*input, stream, bitmapcodec::kBitmapMaxDistance);
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->size()));
}

// Collects the mean time of every run so that the ratios can be printed last.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
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
        benchmark::RegisterBenchmark(("plain/" + input.name).c_str(), encode, &input.bytes, true)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark(("fast/" + input.name).c_str(), encode, &input.bytes, false)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    double plainCorpus = 0;
    double fastCorpus = 0;
    std::printf("\n| input | bytes | plain scan (ms) | fast search (ms) | ratio |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const double plain = reporter.seconds("plain/" + inputs[i].name + "/iterations:1");
        const double fast = reporter.seconds("fast/" + inputs[i].name);
        if (plain == 0 || fast == 0) {
            continue;  // filtered out
        }
        if (i < corpusCount) {
            plainCorpus += plain;
            fastCorpus += fast;
        }
        std::printf("| %s | %zu | %.1f | %.2f | %.0f |\n", inputs[i].name.c_str(),
                    inputs[i].bytes.size(), plain, fast, plain / fast);
    }
    if (fastCorpus > 0) {
        std::printf("| all corpus bitmaps | | %.1f | %.2f | %.0f |\n", plainCorpus, fastCorpus,
                    plainCorpus / fastCorpus);
    }
    benchmark::Shutdown();
    return 0;
}
