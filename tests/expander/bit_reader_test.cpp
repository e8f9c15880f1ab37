// The bit reader: bit order, the refill rule's source calls, and reads past the end.
#include <gtest/gtest.h>

#include "expander/bit_reader.h"
#include "test_support.h"

namespace {

void Reset(const Bytes& input) {
  g_memory.Reset(input);
  BitBuf = 0;
  BitCount = 0;
}

TEST(BitReader, FirstReadCallsTwiceThenAtMostOncePerRead) {
  Reset(FromHex("A5 3C 0F F0"));
  std::string bits;
  std::vector<int> calls;
  for (int i = 0; i < 32; ++i) {
    bits += static_cast<char>('0' + GetBit(MemorySource));
    calls.push_back(g_memory.source_calls);
  }
  EXPECT_EQ(bits, "10100101001111000000111111110000");
  EXPECT_EQ(calls[0], 2);
  for (int i = 1; i < 32; ++i) EXPECT_LE(calls[i] - calls[i - 1], 1) << "read " << i;
  // The buffer refills when 8 or fewer bits are left: after 8 reads the third byte is in.
  EXPECT_EQ(calls[7], 2);
  EXPECT_EQ(calls[8], 3);
}

TEST(BitReader, ByteAfterThreeBitsStraddlesTwoInputBytes) {
  Reset(FromHex("B6 D9"));  // 1011 0110 1101 1001
  EXPECT_EQ(GetBit(MemorySource), 1u);
  EXPECT_EQ(GetBit(MemorySource), 0u);
  EXPECT_EQ(GetBit(MemorySource), 1u);
  EXPECT_EQ(GetByte(MemorySource), 0b10110110u);  // bits 4 to 11
  EXPECT_EQ(BitCount, 5);
}

TEST(BitReader, PastTheEndEveryEightBitsCostOneCallAndReadZero) {
  Reset(FromHex("FF"));
  EXPECT_EQ(GetByte(MemorySource), 0xFFu);
  EXPECT_EQ(g_memory.source_calls, 2);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(GetByte(MemorySource), 0u);
  EXPECT_EQ(g_memory.source_calls, 12);
  EXPECT_EQ(g_memory.source_calls_past_end, 11);
}

TEST(BitReader, AnyCountButOneDeliversZero) {
  for (std::uint16_t count : {0, 2, 0xFFFF}) {
    Reset(FromHex("FF FF"));
    g_memory.short_count = count;
    EXPECT_EQ(GetByte(MemorySource), 0u) << "count " << count;
    EXPECT_EQ(GetByte(MemorySource), 0u) << "count " << count;
  }
}

}  // namespace
