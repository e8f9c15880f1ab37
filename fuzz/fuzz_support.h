// Helpers of the fuzz targets: a check that stops the run with a message (libFuzzer then saves
// the input as a crash), the little-endian header fields, and counting heap and file layers that
// pass every call on to the system's and notice blocks and handles that are never given back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include "expander/lzh_format.h"
#include "platform/file_io.h"
#include "platform/heap.h"

// A property that must hold for every input; a failure aborts, which libFuzzer reports as a
// crash and keeps the input.
inline void FuzzCheck(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "fuzz check failed: %s\n", property);
    std::abort();
  }
}

inline std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The in-memory stream and output behind the decoder's two callbacks, MemorySource and MemorySink.
struct FuzzMemory {
  const std::uint8_t* stream = nullptr;
  std::size_t stream_size = 0;
  std::size_t next = 0;
  std::size_t source_calls = 0;
  std::vector<std::uint8_t> output;
};
inline FuzzMemory g_memory;

inline void MemorySource(std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual) {
  FuzzCheck(count == 1, "the decoder asks for one byte per call");
  ++g_memory.source_calls;
  if (g_memory.next < g_memory.stream_size) {
    *buffer = g_memory.stream[g_memory.next++];
    actual = 1;
  } else {
    actual = 0;  // the end of the input: read as zero bits
  }
}

inline void MemorySink(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual) {
  FuzzCheck(count == 1, "the decoder hands over one byte per call");
  g_memory.output.push_back(*data);
  actual = count;
}

// The output of unpack (our LZHUnpack or another decoder's) for a stream in memory.
inline std::vector<std::uint8_t> ExpandInMemory(void (*unpack)(std::int32_t, ByteSource, ByteSink),
                                                std::int32_t size, const std::uint8_t* stream,
                                                std::size_t stream_size) {
  g_memory = FuzzMemory{};
  g_memory.stream = stream;
  g_memory.stream_size = stream_size;
  g_memory.output.reserve(static_cast<std::size_t>(size > 0 ? size : 0) + MaxMatch);
  unpack(size, MemorySource, MemorySink);
  return std::move(g_memory.output);
}

// Installs itself over the system heap for its lifetime and counts the blocks still out.
class CountingHeap {
 public:
  CountingHeap() { SetHeapHooks(&kHooks); }
  ~CountingHeap() { SetHeapHooks(nullptr); }
  CountingHeap(const CountingHeap&) = delete;
  CountingHeap& operator=(const CountingHeap&) = delete;

  int Live() const { return live_; }

 private:
  static void* Allocate(std::size_t size) {
    void* block = SystemHeapHooks().allocate(size);
    if (block) ++live_;
    return block;
  }
  static bool Release(void* block) {
    if (block) --live_;
    return SystemHeapHooks().release(block);
  }
  static constexpr HeapHooks kHooks{Allocate, Release};
  static inline int live_ = 0;
};

// Installs itself over the system file layer for its lifetime and counts the handles still open.
class CountingFiles {
 public:
  CountingFiles() { SetFileHooks(&kHooks); }
  ~CountingFiles() { SetFileHooks(nullptr); }
  CountingFiles(const CountingFiles&) = delete;
  CountingFiles& operator=(const CountingFiles&) = delete;

  int Open() const { return open_; }

 private:
  static FileHandle Counted(FileHandle file) {
    if (file > 0) ++open_;
    return file;
  }
  static FileHandle OpenRead(const char* path) {
    return Counted(SystemFileHooks().open_read(path));
  }
  static FileHandle Create(const char* path) { return Counted(SystemFileHooks().create(path)); }
  static void Close(FileHandle file) {
    if (file > 0) --open_;
    SystemFileHooks().close(file);
  }
  static constexpr FileHooks kHooks{
      OpenRead,
      Create,
      [](FileHandle f, void* b, std::uint32_t n) { return SystemFileHooks().read(f, b, n); },
      [](FileHandle f, const void* d, std::uint32_t n) { return SystemFileHooks().write(f, d, n); },
      [](FileHandle f) { SystemFileHooks().flush(f); },
      Close,
      [](const char* p) { SystemFileHooks().remove(p); }};
  static inline int open_ = 0;
};
