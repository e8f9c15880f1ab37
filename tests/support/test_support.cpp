#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "expander/huffman_model.h"
#include "expander/lzh_format.h"
#include "expander/window_decoder.h"
#include "packer/bit_writer.h"
#include "packer/lzh_pack.h"
#include "packer/model_encoder.h"

namespace fs = std::filesystem;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    int digit = std::stoi(std::string(1, c), nullptr, 16);
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

Bytes FromText(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes Container(std::int32_t size, const Bytes& stream) {
  Bytes file(HeaderSize + stream.size());
  WriteLittleEndian32(file.data(), LZHSignature);
  WriteLittleEndian32(file.data() + 4, static_cast<std::uint32_t>(size));
  std::copy(stream.begin(), stream.end(), file.begin() + HeaderSize);
  return file;
}

// --- files -------------------------------------------------------------------------------------

ScratchDir::ScratchDir() {
  static std::mt19937 random(std::random_device{}());
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / ("brannock-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
    if (error) throw std::runtime_error("cannot create a scratch folder: " + error.message());
  }
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  // Read-only files left by a test must not keep the folder alive.
  for (auto& entry : fs::recursive_directory_iterator(path_, error)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
  }
  fs::remove_all(path_, error);
}

std::string ScratchDir::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// --- the decoder's callbacks, in memory --------------------------------------------------------

MemoryCallbacks g_memory;

void MemorySource(std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual) {
  ++g_memory.source_calls;
  g_memory.trace += 's';
  if (count != 1) throw std::logic_error("the decoder asked for more than one byte");
  if (g_memory.next >= g_memory.input.size()) {
    ++g_memory.source_calls_past_end;
    actual = 0;
    return;
  }
  *buffer = g_memory.input[g_memory.next++];
  actual = g_memory.short_count;
}

void MemorySink(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual) {
  ++g_memory.sink_calls;
  g_memory.trace += 'k';
  if (count != 1) throw std::logic_error("the decoder handed over more than one byte");
  if (g_memory.sink_calls == g_memory.sink_raises_at) {
    g_memory.source_calls_at_raise = g_memory.source_calls;
    throw SinkFailure{};
  }
  g_memory.output.push_back(*data);
  actual = 1;
}

Bytes Unpack(std::int32_t size, const Bytes& stream, UnpackFunction unpack) {
  g_memory.Reset(stream);
  (unpack ? unpack : LZHUnpack)(size, MemorySource, MemorySink);
  return g_memory.output;
}

// --- hand-made streams -------------------------------------------------------------------------

std::string CodeOf(unsigned symbol) {
  std::string code;
  for (unsigned p = Parent[symbol + NodeCount]; p != RootPos; p = Parent[p]) {
    code.insert(code.begin(), p == Child[Parent[p]] ? '0' : '1');
  }
  return code;
}

Bytes BuildStream(const std::vector<Item>& items) {
  Bytes stream;
  VectorOutput output(stream);
  BitWriter bits(output);
  ModelEncoder model;
  for (const Item& item : items) {
    if (item.length == 0) {
      model.Put(item.value, bits);
      continue;
    }
    model.Put(item.length + FirstMatchSymbol - MinMatch, bits);
    unsigned u = item.value >> 6;
    bits.Put(PositionCodeBits(u), PositionCodeLength(u));
    bits.Put(item.value & 63, 6);
  }
  bits.Finish();
  return stream;
}

Bytes ExpandItems(const std::vector<Item>& items) {
  Bytes window(WindowSize, 0);
  for (unsigned i = 0; i < InitialWritePos; ++i) window[i] = ' ';
  unsigned w = InitialWritePos;
  Bytes output;
  auto put = [&](std::uint8_t byte) {
    output.push_back(byte);
    window[w] = byte;
    w = (w + 1) % WindowSize;
  };
  for (const Item& item : items) {
    if (item.length == 0) {
      put(static_cast<std::uint8_t>(item.value));
      continue;
    }
    unsigned start = (w + WindowSize - item.value - 1) % WindowSize;
    for (unsigned k = 0; k < item.length; ++k) put(window[(start + k) % WindowSize]);
  }
  return output;
}

// --- counting heap and file layer --------------------------------------------------------------

namespace {

CountingHeap* g_heap = nullptr;
CountingFiles* g_files = nullptr;

void* CountedAllocate(std::size_t size) {
  ++g_heap->allocations;
  if (g_heap->allocations == g_heap->fail_allocation_at) return nullptr;
  void* block = SystemHeapHooks().allocate(size);
  if (block) ++g_heap->live;
  return block;
}

bool CountedRelease(void* block) {
  if (!block) return true;
  --g_heap->live;
  SystemHeapHooks().release(block);
  return !g_heap->fail_release;
}

constexpr HeapHooks kCountingHeap{CountedAllocate, CountedRelease};

bool FailNow() {
  return ++g_files->calls == g_files->fail_at;
}

FileHandle CountedOpen(const char* path) {
  if (FailNow()) return -1;
  FileHandle file = SystemFileHooks().open_read(path);
  if (file > 0) ++g_files->open_handles;
  return file;
}

FileHandle CountedCreate(const char* path) {
  if (FailNow()) return -1;
  FileHandle file = SystemFileHooks().create(path);
  if (file > 0) ++g_files->open_handles;
  return file;
}

std::int32_t CountedRead(FileHandle file, void* buffer, std::uint32_t count) {
  ++g_files->reads;
  if (FailNow()) return -1;
  return SystemFileHooks().read(file, buffer, count);
}

std::int32_t CountedWrite(FileHandle file, const void* data, std::uint32_t count) {
  g_files->write_sizes.push_back(count);
  if (FailNow()) return -1;
  return SystemFileHooks().write(file, data, count);
}

void CountedClose(FileHandle file) {
  --g_files->open_handles;
  SystemFileHooks().close(file);
}

constexpr FileHooks kCountingFiles{CountedOpen,
                                   CountedCreate,
                                   CountedRead,
                                   CountedWrite,
                                   [](FileHandle file) { SystemFileHooks().flush(file); },
                                   CountedClose,
                                   [](const char* path) { SystemFileHooks().remove(path); }};

}  // namespace

CountingHeap::CountingHeap() {
  g_heap = this;
  SetHeapHooks(&kCountingHeap);
}

CountingHeap::~CountingHeap() {
  SetHeapHooks(nullptr);
  g_heap = nullptr;
}

CountingFiles::CountingFiles() {
  g_files = this;
  SetFileHooks(&kCountingFiles);
}

CountingFiles::~CountingFiles() {
  SetFileHooks(nullptr);
  g_files = nullptr;
}
