// Decoder benchmark: the plain port of the algorithm (bench/baseline_decoder) against the
// product's decoder, on every file of the corpus, in one run.
//
//   Baseline/F     the plain port, in-memory callbacks through function pointers
//   LZHUnpack/F    the product's entry, with the same function-pointer callbacks
//   UnpackWith/F   the product's decoding loop with an in-memory source and sink inlined
//   ExpandFile/F   the whole file expansion driver, from the compressed file on disk
//   BaselineFile/F the same driver's work on the same files with the plain port decoding behind
//                  the driver's own ReadBlock and WriteBlock: the yardstick for ExpandFile
//
// Every row reports the counter out_MB: MB of output (10^6 bytes) per second of CPU time. Before
// measuring, each decoder expands each file once and must give back the original bytes, and the
// product must call its callbacks exactly as the baseline does; streams of random bits must also
// decode alike (VerifyRandomStreams). Any mismatch aborts the run. At the end the ratio
// product/baseline of the median MB/s is printed for each file: LZHUnpack and UnpackWith against
// Baseline, ExpandFile against BaselineFile (run with --benchmark_repetitions=5 for medians).
// On a busy machine, pin the run for steadier figures: chrt -f 50 taskset -c 1 decode_bench ...
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/baseline_decoder.h"
#include "bench/bench_support.h"
#include "expander/expand_file.h"
#include "expander/window_decoder.h"
#include "platform/file_io.h"
#include "platform/heap.h"

namespace {

struct CorpusFile {
  std::string name;         // e.g. "libstdc++-6.dll"
  std::string packed_path;  // the compressed file, NAME.lzh
  std::string target_path;  // where ExpandFile writes
  std::vector<std::uint8_t> original;
  std::vector<std::uint8_t> packed;  // header included
  std::int32_t size = 0;             // the header's uncompressed size
};

// --- In-memory callbacks for the function-pointer entries --------------------------------------
// Lean, like the driver's ReadBlock and WriteBlock for one byte. The counting pair is used only
// to check the call counts before the measurements.

struct CallbackState {
  const std::uint8_t* in = nullptr;
  const std::uint8_t* in_end = nullptr;
  std::uint8_t* out = nullptr;
  std::uint8_t* out_end = nullptr;
  std::uint64_t source_calls = 0;
  std::uint64_t sink_calls = 0;
  // For each sink call, the source calls made before it, folded into one number.
  std::uint64_t interleaving = 0;
};
CallbackState callbacks;

void MemoryRead(std::uint8_t* dest, std::uint16_t count, std::uint16_t& actual) {
  if (count == 1 && callbacks.in != callbacks.in_end) {
    *dest = *callbacks.in++;
    actual = 1;
    return;
  }
  std::size_t n = std::min<std::size_t>(count, callbacks.in_end - callbacks.in);
  std::memcpy(dest, callbacks.in, n);
  callbacks.in += n;
  actual = static_cast<std::uint16_t>(n);
}

void MemoryWrite(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual) {
  if (static_cast<std::size_t>(callbacks.out_end - callbacks.out) < count) {
    throw std::runtime_error("output longer than the buffer");
  }
  if (count == 1) {
    *callbacks.out++ = *data;
  } else {
    std::memcpy(callbacks.out, data, count);
    callbacks.out += count;
  }
  actual = count;
}

void CountingRead(std::uint8_t* dest, std::uint16_t count, std::uint16_t& actual) {
  ++callbacks.source_calls;
  MemoryRead(dest, count, actual);
}

void CountingWrite(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual) {
  ++callbacks.sink_calls;
  callbacks.interleaving = callbacks.interleaving * 1000003 + callbacks.source_calls;
  MemoryWrite(data, count, actual);
}

// Output buffer: the announced size plus room for a last match that crosses it.
std::vector<std::uint8_t> OutputBuffer(const CorpusFile& file) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(file.size) + MaxMatch);
}

// Points the callbacks at the file's stream and at out, with the counts at zero.
void ResetCallbacks(const CorpusFile& file, std::vector<std::uint8_t>& out) {
  callbacks = CallbackState{};
  callbacks.in = file.packed.data() + HeaderSize;
  callbacks.in_end = file.packed.data() + file.packed.size();
  callbacks.out = out.data();
  callbacks.out_end = out.data() + out.size();
}

// --- In-memory source and sink for the inlined template -----------------------------------------

struct MemorySource {
  const std::uint8_t* next;
  const std::uint8_t* end;
  std::uint8_t Fetch() { return next != end ? *next++ : 0; }
};

struct MemorySink {
  std::uint8_t* next;
  std::uint8_t* end;
  void Put(std::uint8_t byte) {
    if (next == end) throw std::runtime_error("output longer than the buffer");
    *next++ = byte;
  }
  // Room for a whole match, as the driver's sink lends it.
  std::uint8_t* Reserve(unsigned n) const {
    return static_cast<unsigned>(end - next) >= n ? next : nullptr;
  }
  void Commit(std::uint8_t* written_to) { next = written_to; }
};

// --- The four ways to expand a file --------------------------------------------------------------

std::size_t RunBaseline(const CorpusFile& file, std::vector<std::uint8_t>& out,
                        ByteSource source = MemoryRead, ByteSink sink = MemoryWrite) {
  ResetCallbacks(file, out);
  baseline::LZHUnpack(file.size, source, sink);
  return callbacks.out - out.data();
}

std::size_t RunLZHUnpack(const CorpusFile& file, std::vector<std::uint8_t>& out,
                         ByteSource source = MemoryRead, ByteSink sink = MemoryWrite) {
  ResetCallbacks(file, out);
  LZHUnpack(file.size, source, sink);
  return callbacks.out - out.data();
}

std::size_t RunUnpackWith(const CorpusFile& file, std::vector<std::uint8_t>& out) {
  MemorySource source{file.packed.data() + HeaderSize, file.packed.data() + file.packed.size()};
  MemorySink sink{out.data(), out.data() + out.size()};
  UnpackWith(file.size, source, sink);
  return sink.next - out.data();
}

void RunExpandFile(const CorpusFile& file) {
  ExpandSourceName = file.packed_path;
  ExpandTargetName = file.target_path;
  if (ExpandFile() != 1) Fail("ExpandFile failed on " + file.packed_path);
}

// What ExpandFile does on a sound file, with the plain port in place of the product's decoder: the
// driver's buffers, handles and callbacks (function pointers), without the failure handling.
void RunBaselineFile(const CorpusFile& file) {
  SourceBuffer = static_cast<std::uint8_t*>(HeapAllocate(IOBufferSize));
  TargetBuffer = static_cast<std::uint8_t*>(HeapAllocate(IOBufferSize));
  SourceHandle = FileOpenRead(file.packed_path.c_str());
  TargetHandle = FileCreate(file.target_path.c_str());
  std::uint8_t header[HeaderSize];
  if (!SourceBuffer || !TargetBuffer || SourceHandle < 0 || TargetHandle < 0 ||
      FileRead(SourceHandle, header, HeaderSize) != static_cast<std::int32_t>(HeaderSize)) {
    Fail("cannot set up the baseline's file run on " + file.packed_path);
  }
  SourcePos = 1;
  SourceCount = 0;
  TargetPos = 1;
  baseline::LZHUnpack(file.size, ReadBlock, WriteBlock);
  std::uint16_t unused = 0;
  WriteBlock(nullptr, 0, unused);
  for (FileHandle* handle : {&SourceHandle, &TargetHandle}) {
    FileFlush(*handle);
    FileClose(*handle);
    *handle = kNoFile;
  }
  HeapRelease(SourceBuffer);
  HeapRelease(TargetBuffer);
  SourceBuffer = TargetBuffer = nullptr;
}

void CheckOutput(const CorpusFile& file, const char* decoder, const std::uint8_t* data,
                 std::size_t length) {
  if (length != file.original.size() ||
      !std::equal(file.original.begin(), file.original.end(), data)) {
    Fail(std::string(decoder) + " does not reproduce " + file.name);
  }
}

// Expands the file once with each decoder and aborts unless all of them give the original bytes
// and the product calls its callbacks exactly as the plain port does: as often, and with the same
// number of source calls before each sink call.
void Verify(const CorpusFile& file) {
  std::vector<std::uint8_t> out = OutputBuffer(file);
  CheckOutput(file, "the baseline", out.data(),
              RunBaseline(file, out, CountingRead, CountingWrite));
  const CallbackState expected = callbacks;

  std::fill(out.begin(), out.end(), 0);
  CheckOutput(file, "LZHUnpack", out.data(), RunLZHUnpack(file, out, CountingRead, CountingWrite));
  if (callbacks.source_calls != expected.source_calls ||
      callbacks.sink_calls != expected.sink_calls ||
      callbacks.interleaving != expected.interleaving) {
    Fail("LZHUnpack calls its callbacks differently from the baseline on " + file.name);
  }

  std::fill(out.begin(), out.end(), 0);
  CheckOutput(file, "UnpackWith", out.data(), RunUnpackWith(file, out));

  RunExpandFile(file);
  std::vector<std::uint8_t> written = ReadWholeFile(file.target_path);
  CheckOutput(file, "ExpandFile", written.data(), written.size());

  RunBaselineFile(file);
  written = ReadWholeFile(file.target_path);
  CheckOutput(file, "the baseline behind the driver", written.data(), written.size());
}

// Every bit sequence decodes, so streams of random bits (with more or fewer ones, for other
// shapes of the tree) and random sizes exercise every path of the decoder: deep codes, all match
// positions, window wrap, rebuilds. The product must match the plain port there too, byte for
// byte and call for call, also when the stream ends early and zeros are read past its end.
void VerifyRandomStreams() {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int round = 0; round < 24; ++round) {
    CorpusFile file;
    file.name = "random stream " + std::to_string(round);
    const unsigned ones_in_8 = 1 + round % 7;  // density of one bits: 1/8 .. 7/8
    std::size_t length = 1 + next() % 300000;
    file.packed.assign(HeaderSize, 0);
    for (std::size_t i = 0; i < length; ++i) {
      unsigned byte = 0;
      for (int bit = 0; bit < 8; ++bit) byte = byte << 1 | (next() % 8 < ones_in_8);
      file.packed.push_back(static_cast<std::uint8_t>(byte));
    }
    file.size = static_cast<std::int32_t>(next() % 1500000);

    std::vector<std::uint8_t> expected = OutputBuffer(file);
    std::size_t expected_length = RunBaseline(file, expected, CountingRead, CountingWrite);
    const CallbackState expected_calls = callbacks;
    std::vector<std::uint8_t> got = OutputBuffer(file);
    std::size_t got_length = RunLZHUnpack(file, got, CountingRead, CountingWrite);
    if (got_length != expected_length || got != expected ||
        callbacks.source_calls != expected_calls.source_calls ||
        callbacks.interleaving != expected_calls.interleaving) {
      Fail("LZHUnpack differs from the baseline on " + file.name);
    }
    std::fill(got.begin(), got.end(), 0);
    if (RunUnpackWith(file, got) != expected_length || got != expected) {
      Fail("UnpackWith differs from the baseline on " + file.name);
    }
  }
}

void SetRate(benchmark::State& state, const CorpusFile& file) {
  state.counters["out_MB"] = benchmark::Counter(static_cast<double>(file.size) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void RegisterFile(const CorpusFile& file) {
  const CorpusFile* f = &file;
  benchmark::RegisterBenchmark(("Baseline/" + f->name).c_str(), [f](benchmark::State& state) {
    std::vector<std::uint8_t> out = OutputBuffer(*f);
    for (auto _ : state) benchmark::DoNotOptimize(RunBaseline(*f, out));
    SetRate(state, *f);
  });
  benchmark::RegisterBenchmark(("LZHUnpack/" + f->name).c_str(), [f](benchmark::State& state) {
    std::vector<std::uint8_t> out = OutputBuffer(*f);
    for (auto _ : state) benchmark::DoNotOptimize(RunLZHUnpack(*f, out));
    SetRate(state, *f);
  });
  benchmark::RegisterBenchmark(("UnpackWith/" + f->name).c_str(), [f](benchmark::State& state) {
    std::vector<std::uint8_t> out = OutputBuffer(*f);
    for (auto _ : state) benchmark::DoNotOptimize(RunUnpackWith(*f, out));
    SetRate(state, *f);
  });
  benchmark::RegisterBenchmark(("ExpandFile/" + f->name).c_str(), [f](benchmark::State& state) {
    for (auto _ : state) RunExpandFile(*f);
    SetRate(state, *f);
  });
  benchmark::RegisterBenchmark(("BaselineFile/" + f->name).c_str(), [f](benchmark::State& state) {
    for (auto _ : state) RunBaselineFile(*f);
    SetRate(state, *f);
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  VerifyRandomStreams();
  const std::string dir = BRANNOCK_CORPUS_DIR;
  std::vector<std::unique_ptr<CorpusFile>> corpus;
  std::istringstream names(BRANNOCK_CORPUS_NAMES);
  for (std::string name; std::getline(names, name, ',');) {
    auto file = std::make_unique<CorpusFile>();
    file->name = name;
    file->packed_path = dir + "/" + name + ".lzh";
    file->target_path = dir + "/" + name + ".expanded";
    file->original = ReadWholeFile(dir + "/" + name);
    file->packed = ReadWholeFile(file->packed_path);
    if (file->packed.size() < HeaderSize) Fail(file->packed_path + " has no header");
    file->size = static_cast<std::int32_t>(ReadLittleEndian32(file->packed.data() + 4));
    Verify(*file);
    RegisterFile(*file);
    corpus.push_back(std::move(file));
  }

  RateReporter reporter("out_MB");
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf(
      "\nMedian MB/s, and the ratio to the plain port (in memory; on files for ExpandFile):\n");
  for (const auto& file : corpus) {
    auto ratio = [&](const char* row, const char* yardstick) {
      double ours = reporter.Rate(std::string(row) + "/" + file->name);
      double base = reporter.Rate(std::string(yardstick) + "/" + file->name);
      if (ours != 0 && base != 0) std::printf("   %s %.2f (%.2fx)", row, ours, ours / base);
    };
    std::printf("  %-19s baseline %.2f  on files %.2f |", file->name.c_str(),
                reporter.Rate("Baseline/" + file->name),
                reporter.Rate("BaselineFile/" + file->name));
    ratio("LZHUnpack", "Baseline");
    ratio("UnpackWith", "Baseline");
    ratio("ExpandFile", "BaselineFile");
    std::printf("%s\n", file->name == BRANNOCK_CORPUS_EXECUTABLE ? "   <- 2 MB+ executable" : "");
  }
  benchmark::Shutdown();
  for (const auto& file : corpus) std::remove(file->target_path.c_str());
  return 0;
}
