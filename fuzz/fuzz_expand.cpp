// Fuzz target: arbitrary bytes as a compressed file, through the real window decoder.
//
// The input is a whole compressed file. As the driver does, a file shorter than the header or
// without the signature is not expanded. The size field is clamped to 1 MiB so that a run stays
// in milliseconds (larger sizes only make the same loop run longer). Checked for every input:
// - LZHUnpack terminates, reads and writes only inside its tables (the sanitizers see to that)
//   and gives every table back (a counting heap);
// - the output has at least `size` bytes and at most 59 more (the last match completes whole);
//   a size of zero or less gives no output and reads no byte of the stream;
// - a straightforward second implementation of the decoding algorithm (the benchmark's plain
//   port) produces the same bytes, so a damaged stream cannot steer the tuned decoder into a
//   result of its own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/baseline_decoder.h"
#include "expander/window_decoder.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::int32_t kMaxSize = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < HeaderSize || ReadLittleEndian32(data) != LZHSignature) return 0;
  std::int32_t expanded = static_cast<std::int32_t>(ReadLittleEndian32(data + 4));
  if (expanded > kMaxSize) expanded = kMaxSize;
  const Bytes stream(data + HeaderSize, data + size);

  CountingHeap heap;
  Bytes output = Unpack(expanded, stream);
  FuzzCheck(heap.live == 0, "LZHUnpack gives back every table it obtained");
  FuzzCheck(RingBuffer == nullptr, "no table is held between calls");

  if (expanded <= 0) {
    FuzzCheck(output.empty(), "a size of zero or less gives no output");
    FuzzCheck(g_memory.source_calls == 0, "a size of zero or less reads nothing");
    return 0;
  }
  const std::size_t wanted = static_cast<std::size_t>(expanded);
  FuzzCheck(output.size() >= wanted, "the output has at least the announced size");
  FuzzCheck(output.size() <= wanted + MaxMatch - 1, "at most 59 bytes beyond the size");

  Bytes reference = Unpack(expanded, stream, baseline::LZHUnpack);
  FuzzCheck(output == reference, "the plain port of the algorithm gives the same bytes");
  return 0;
}
