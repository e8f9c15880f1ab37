// The window decoder: hand-made streams against the window rules, the work tables' life cycle,
// and how exceptions from the callbacks and the heap end an expansion.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "expander/window_decoder.h"
#include "test_support.h"

namespace {

std::vector<Item> Literals(const Bytes& bytes) {
  std::vector<Item> items;
  for (auto byte : bytes) items.push_back(Literal(byte));
  return items;
}

std::vector<Item> operator+(std::vector<Item> a, const std::vector<Item>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Many items of every kind: literals, matches of all lengths and positions, past several
// rebuilds of the model.
std::vector<Item> MixedItems(int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Item> items = Literals(RandomBytes(4200, seed));  // the window is all written
  for (int i = 0; i < count; ++i) {
    if (random() % 3 == 0) {
      items.push_back(Literal(static_cast<std::uint8_t>(random() % 40)));
    } else {
      items.push_back(Match(MinMatch + random() % (MaxMatch - MinMatch + 1), random() % 4096));
    }
  }
  return items;
}

TEST(WindowDecoder, HandMadeStreamsFollowTheWindowRules) {
  const struct {
    const char* label;
    std::vector<Item> items;
  } kCases[] = {
      {"literals only", Literals(FromText("Brannock"))},
      {"run with p = 0 overlaps itself", {Literal('x'), Match(60, 0)}},
      {"match from the initial spaces", {Match(60, 100), Match(3, 4035)}},
      {"write position wraps after 60 bytes; match source wraps too",
       Literals(RandomBytes(65, 1)) + std::vector<Item>{Match(10, 8), Match(60, 20)}},
      {"p = 4095 repeats the bytes written 4096 earlier",
       Literals(RandomBytes(4100, 2)) + std::vector<Item>{Match(60, 4095), Match(7, 4095)}},
      {"every length and position, past several model rebuilds", MixedItems(70000, 3)},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.label);
    Bytes expected = ExpandItems(test.items);
    Bytes stream = BuildStream(test.items);
    EXPECT_EQ(Unpack(static_cast<std::int32_t>(expected.size()), stream), expected);
    EXPECT_EQ(g_memory.sink_calls, static_cast<int>(expected.size()));
  }
}

// The loop written with the module's one-call-per-read operations (DecodeChar, DecodePosition,
// hence GetBit and GetByte): the order of source and sink calls the decoder must keep, however
// it reads the bits internally.
std::string ReferenceCallTrace(std::int32_t size, const Bytes& stream) {
  g_memory.Reset(stream);
  AllocDictionaryTables();
  StartHuff();
  Bytes window(WindowSize, ' ');
  unsigned w = InitialWritePos;
  auto put = [&](std::uint8_t byte) {
    std::uint16_t actual = 0;
    MemorySink(&byte, 1, actual);
    window[w] = byte;
    w = (w + 1) % WindowSize;
  };
  for (std::int32_t delivered = 0; delivered < size;) {
    unsigned c = DecodeChar(MemorySource);
    if (c < 256) {
      put(static_cast<std::uint8_t>(c));
      ++delivered;
      continue;
    }
    unsigned s = (w + WindowSize - DecodePosition(MemorySource) - 1) % WindowSize;
    for (unsigned k = 0; k < c - 253; ++k, ++delivered) put(window[(s + k) % WindowSize]);
  }
  FreeDictionaryTables();
  return g_memory.trace;
}

TEST(WindowDecoder, SourceAndSinkCallsComeInTheOrderOfBitByBitReading) {
  const struct {
    const char* label;
    Bytes stream;
    std::int32_t size;
  } kCases[] = {
      {"worked example", FromHex("F6FBBDF1E020"), 9},
      {"hand-made items", BuildStream(MixedItems(3000, 5)), 20000},
      {"random bits", RandomBytes(3000, 6), 30000},
      {"random bits, input ends early", RandomBytes(40, 7), 5000},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.label);
    std::string expected = ReferenceCallTrace(test.size, test.stream);
    Unpack(test.size, test.stream);
    EXPECT_EQ(g_memory.trace, expected);
  }
}

TEST(WindowDecoder, OutputStopsAtTheFirstItemAtOrBeyondTheSize) {
  auto items = Literals(FromText("ab")) + std::vector<Item>{Match(10, 1), Literal('z')};
  Bytes stream = BuildStream(items);
  Bytes all = ExpandItems(items);
  EXPECT_EQ(Unpack(3, stream), Bytes(all.begin(), all.begin() + 12));  // the match completes
  EXPECT_EQ(Unpack(12, stream), Bytes(all.begin(), all.begin() + 12));
  EXPECT_EQ(Unpack(13, stream), all);
}

// Allocations come back filled with garbage, as a reused heap block might.
void* DirtyAllocate(std::size_t size) {
  void* block = SystemHeapHooks().allocate(size);
  if (block) std::memset(block, 0xCC, size);
  return block;
}
bool SystemRelease(void* block) {
  return SystemHeapHooks().release(block);
}
constexpr HeapHooks kDirtyHeap{DirtyAllocate, SystemRelease};

TEST(WindowDecoder, UnwrittenWindowTailReadsAsZeroWhateverTheHeapHeld) {
  // A damaged stream that copies from position 4036 before anything was written there.
  Bytes stream = BuildStream({Match(3, 4095), Literal('a')});
  SetHeapHooks(&kDirtyHeap);
  Bytes output = Unpack(4, stream);
  SetHeapHooks(nullptr);
  EXPECT_EQ(output, FromHex("00000061"));
}

TEST(WindowDecoder, SinkRaisingOnItsTenthByteEndsTheExpansion) {
  CountingHeap heap;
  Bytes stream = BuildStream(Literals(RandomBytes(100, 4)));
  g_memory.Reset(stream);
  g_memory.sink_raises_at = 10;
  EXPECT_THROW(LZHUnpack(100, MemorySource, MemorySink), SinkFailure);
  EXPECT_EQ(g_memory.output.size(), 9u);
  EXPECT_EQ(g_memory.sink_calls, 10);
  EXPECT_EQ(g_memory.source_calls, g_memory.source_calls_at_raise) << "source called after";
  EXPECT_EQ(heap.live, 0) << "tables not given back";
}

TEST(WindowDecoder, SuccessiveExpansionsStartAfresh) {
  // The first stream ends with bits fetched ahead; a failed run sits between the two good ones.
  Bytes first = BuildStream(Literals(FromText("abcdefg")));
  Bytes second = FromHex("F6FBBDF1E020");
  Unpack(7, first);
  ASSERT_NE(BitCount, 0);
  EXPECT_EQ(Unpack(9, second), FromText("abcabcabc"));
  g_memory.Reset(second);
  g_memory.sink_raises_at = 2;
  EXPECT_THROW(LZHUnpack(9, MemorySource, MemorySink), SinkFailure);
  EXPECT_EQ(Unpack(9, second), FromText("abcabcabc"));
}

TEST(WindowDecoder, TablesThatCannotBeObtained) {
  for (int failing = 1; failing <= 4; ++failing) {
    SCOPED_TRACE(failing);
    CountingHeap heap;
    heap.fail_allocation_at = failing;
    g_memory.Reset(FromHex("F6FBBDF1E020"));
    try {
      LZHUnpack(9, MemorySource, MemorySink);
      ADD_FAILURE() << "no exception";
    } catch (const ElzhException& error) {
      EXPECT_EQ(error.Message(), "LZH : Cannot get memory for dictionary tables");
      EXPECT_STREQ(error.ClassName(), "ElzhException");
    }
    EXPECT_EQ(g_memory.source_calls + g_memory.sink_calls, 0);
    EXPECT_EQ(heap.live, 0);
  }
}

TEST(WindowDecoder, TablesThatCannotBeGivenBack) {
  const char* kMessage = "LZH : Error freeing memory for dictionary tables";
  {
    CountingHeap heap;
    heap.fail_release = true;
    g_memory.Reset(FromHex("F6FBBDF1E020"));
    try {
      LZHUnpack(9, MemorySource, MemorySink);
      ADD_FAILURE() << "no exception";
    } catch (const ElzhException& error) {
      EXPECT_EQ(error.Message(), kMessage);
    }
    EXPECT_EQ(g_memory.output, FromText("abcabcabc"));
  }
  {
    // The new error takes the place of one that was passing through.
    CountingHeap heap;
    heap.fail_release = true;
    g_memory.Reset(FromHex("F6FBBDF1E020"));
    g_memory.sink_raises_at = 3;
    EXPECT_THROW(LZHUnpack(9, MemorySource, MemorySink), ElzhException);
    EXPECT_EQ(heap.live, 0);
  }
}

}  // namespace
