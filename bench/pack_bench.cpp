// Compressor benchmark: the three parses of the packer on every file of the corpus.
//
//   Greedy/F    the reference: longest match over the whole window at every item, no look-ahead
//   Default/F   lzhpack: bounded hash-chain search with one byte of lazy evaluation
//   Best/F      lzhpack --best: shortest-path parse over every match, priced with the adaptive
//               model's weights blended with the counts of a plain parse running 64 KiB ahead
//
// Every row reports in_MB (MB of input, 10^6 bytes, per second of CPU time) and packed (the
// compressed file's size in bytes, header included). Before measuring, each parse compresses
// each file once and the result must expand to the original with LZHUnpack; any mismatch aborts
// the run. At the end a table gives sizes, ratios, the gain over Greedy and the median MB/s (run
// with --benchmark_repetitions=5 for medians).
//
//   pack_bench [BENCHMARK FLAGS] [FILE...]
//
// Files named on the command line are measured instead of the corpus; with
// --benchmark_filter=^$ nothing is timed and the table gives the sizes alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "packer/lzh_pack.h"
#include "test_support.h"

namespace {

struct Parse {
  const char* name;
  PackMode mode;
};
constexpr Parse kParses[] = {
    {"Greedy", PackMode::Greedy}, {"Default", PackMode::Default}, {"Best", PackMode::Best}};

struct CorpusFile {
  std::string name;
  std::vector<std::uint8_t> original;
  std::map<std::string, std::size_t> packed_size;  // by parse name
};

// --- the check before measuring ------------------------------------------------------------------

// Compresses the file with every parse, checks that each expands back, records the sizes.
void Verify(CorpusFile& file) {
  for (const Parse& parse : kParses) {
    std::vector<std::uint8_t> packed = PackBuffer(file.original, parse.mode);
    Bytes stream(packed.begin() + HeaderSize, packed.end());
    if (Unpack(static_cast<std::int32_t>(file.original.size()), stream) != file.original) {
      Fail(std::string(parse.name) + " garbles " + file.name);
    }
    file.packed_size[parse.name] = packed.size();
  }
}

void RegisterFile(const CorpusFile& file) {
  const CorpusFile* f = &file;
  for (const Parse& parse : kParses) {
    benchmark::RegisterBenchmark(
        (std::string(parse.name) + "/" + f->name).c_str(), [f, parse](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(PackBuffer(f->original, parse.mode));
          state.counters["in_MB"] =
              benchmark::Counter(static_cast<double>(f->original.size()) / 1e6,
                                 benchmark::Counter::kIsIterationInvariantRate);
          state.counters["packed"] = static_cast<double>(f->packed_size.at(parse.name));
        });
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // What is left after the benchmark's own flags are files to measure instead of the corpus.
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') {
      benchmark::ReportUnrecognizedArguments(argc, argv);
      return 1;
    }
    paths.push_back(argv[i]);
  }
  if (paths.empty()) {
    std::istringstream names(BRANNOCK_CORPUS_NAMES);
    for (std::string name; std::getline(names, name, ',');) {
      paths.push_back(std::string(BRANNOCK_CORPUS_DIR) + "/" + name);
    }
  }

  std::vector<std::unique_ptr<CorpusFile>> corpus;
  for (const std::string& path : paths) {
    auto file = std::make_unique<CorpusFile>();
    file->name = path.substr(path.find_last_of('/') + 1);
    file->original = ReadWholeFile(path);
    Verify(*file);
    RegisterFile(*file);
    corpus.push_back(std::move(file));
  }

  RateReporter reporter("in_MB");
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf(
      "\nCompressed size (header included), %% of the input, change against Greedy, and "
      "median MB/s of input:\n");
  for (const auto& file : corpus) {
    const double input = static_cast<double>(file->original.size());
    const double greedy = static_cast<double>(file->packed_size.at("Greedy"));
    std::printf("  %-20s %9zu bytes%s\n", file->name.c_str(), file->original.size(),
                file->name == BRANNOCK_CORPUS_EXECUTABLE ? "   <- 2 MB+ executable" : "");
    for (const Parse& parse : kParses) {
      const double size = static_cast<double>(file->packed_size.at(parse.name));
      const double rate = reporter.Rate(std::string(parse.name) + "/" + file->name);
      std::printf("    %-8s %9.0f  %6.2f%%  %+6.2f%%  ", parse.name, size, 100 * size / input,
                  100 * (size / greedy - 1));
      if (rate != 0) {
        std::printf("%7.2f MB/s\n", rate);
      } else {
        std::printf("   (not run)\n");
      }
    }
  }
  benchmark::Shutdown();
  return 0;
}
