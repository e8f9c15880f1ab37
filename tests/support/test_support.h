// Helpers shared by the test programs: byte buffers, scratch folders, in-memory callbacks for
// the decoder, a small stream builder for hand-made compressed streams, and counting heap and
// file layers that can make any call fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "expander/lzh_format.h"
#include "platform/file_io.h"
#include "platform/heap.h"

using Bytes = std::vector<std::uint8_t>;

// "21 48 5A 4C" -> bytes; blanks are ignored.
Bytes FromHex(const std::string& hex);
Bytes FromText(const std::string& text);
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

// A compressed file: header (signature, size) followed by the stream.
Bytes Container(std::int32_t size, const Bytes& stream);

// --- files -------------------------------------------------------------------------------------

// A fresh folder under the system's temp folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const;  // Path() + separator + name

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
Bytes ReadBytes(const std::string& path);  // empty when the file cannot be read
void WriteBytes(const std::string& path, const Bytes& bytes);

// --- the decoder's callbacks, in memory --------------------------------------------------------

// State of MemorySource/MemorySink. Reset() before each use.
struct MemoryCallbacks {
  Bytes input;
  std::size_t next = 0;
  Bytes output;
  int source_calls = 0;
  int sink_calls = 0;
  int source_calls_past_end = 0;
  int sink_raises_at = 0;  // raise a test error on this (1-based) sink call; 0: never
  int source_calls_at_raise = -1;
  std::string trace;              // one letter per call, in order: 's' source, 'k' sink
  std::uint16_t short_count = 1;  // count the source reports for a delivered byte

  void Reset(const Bytes& stream) {
    *this = MemoryCallbacks{};
    input = stream;
  }
};
extern MemoryCallbacks g_memory;

struct SinkFailure {};  // what the sink raises when told to

void MemorySource(std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual);
void MemorySink(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual);

// unpack(size, MemorySource, MemorySink) over stream (LZHUnpack unless another decoder with the
// same contract is named); the output.
using UnpackFunction = void (*)(std::int32_t size, ByteSource source, ByteSink sink);
Bytes Unpack(std::int32_t size, const Bytes& stream, UnpackFunction unpack = nullptr);

// --- hand-made streams -------------------------------------------------------------------------

// Items of a stream: a literal byte, or a match of `length` bytes from position `position`.
struct Item {
  unsigned length;  // 0 for a literal
  unsigned value;   // the literal byte, or the match position p (0..4095)
};
inline Item Literal(std::uint8_t byte) {
  return Item{0, byte};
}
inline Item Match(unsigned length, unsigned position) {
  return Item{length, position};
}

// Codes the items with the compressor's model encoder (the expander's adaptive model on tables
// of its own) and the position code; the last byte is padded with zero bits.
Bytes BuildStream(const std::vector<Item>& items);

// What the items expand to, by the window rules alone (spaces at 0..4035, write from 4036).
Bytes ExpandItems(const std::vector<Item>& items);

// The code of a symbol in the model's current tree, as a string of '0' and '1'.
std::string CodeOf(unsigned symbol);

// --- counting heap and file layer --------------------------------------------------------------

// Counts blocks and calls; the fail_at-th call (1-based, over all counted calls) fails.
class CountingHeap {
 public:
  CountingHeap();   // installs itself
  ~CountingHeap();  // restores the system heap
  int allocations = 0;
  int live = 0;
  int fail_allocation_at = 0;  // 0: never
  bool fail_release = false;
};

class CountingFiles {
 public:
  CountingFiles();
  ~CountingFiles();
  // Every call that reports a result (open, create, read, write) counts; the fail_at-th fails.
  int calls = 0;
  int fail_at = 0;
  int open_handles = 0;
  std::vector<std::uint32_t> write_sizes;
  int reads = 0;
};
