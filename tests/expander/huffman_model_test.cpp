// The adaptive model: initial codes, the node move of an update, when and how the tree is
// rebuilt, and the tree's invariants after many symbols.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "expander/huffman_model.h"
#include "expander/window_decoder.h"
#include "test_support.h"

namespace {

// Tables obtained and the initial tree built, for each test.
class Model : public ::testing::Test {
 protected:
  void SetUp() override {
    AllocDictionaryTables();
    StartHuff();
  }
  void TearDown() override { FreeDictionaryTables(); }

  static unsigned LeafPos(unsigned symbol) { return Parent[symbol + NodeCount]; }
  static unsigned Weight(unsigned symbol) { return Freq[LeafPos(symbol)]; }

  static std::vector<unsigned> LeafWeights() {
    std::vector<unsigned> weights(SymbolCount);
    for (unsigned s = 0; s < SymbolCount; ++s) weights[s] = Weight(s);
    return weights;
  }

  // Every invariant of the tree, checked from scratch.
  static void ExpectConsistent() {
    EXPECT_EQ(Freq[NodeCount], 0xFFFF);
    EXPECT_EQ(Parent[RootPos], 0);
    std::vector<int> leaves_seen(SymbolCount, 0);
    for (unsigned p = 0; p < NodeCount; ++p) {
      ASSERT_LE(Freq[p], Freq[p + 1]) << "order broken at " << p;
      ASSERT_GE(Freq[p], 1) << "zero weight at " << p;
      unsigned c = Child[p];
      if (c >= NodeCount) {
        ASSERT_LT(c - NodeCount, SymbolCount);
        ++leaves_seen[c - NodeCount];
        ASSERT_EQ(Parent[c], p) << "leaf link at " << p;
      } else {
        ASSERT_LT(c, p) << "child above its parent at " << p;
        ASSERT_EQ(c % 2, 0u);
        ASSERT_EQ(Freq[p], Freq[c] + Freq[c + 1]) << "weight sum at " << p;
        ASSERT_EQ(Parent[c], p);
        ASSERT_EQ(Parent[c + 1], p);
      }
    }
    EXPECT_LT(Child[0], 0u + NodeCount + SymbolCount);
    EXPECT_GE(Child[0], NodeCount) << "position 0 must hold a leaf";
    for (unsigned s = 0; s < SymbolCount; ++s) EXPECT_EQ(leaves_seen[s], 1) << "symbol " << s;
    auto weights = LeafWeights();
    EXPECT_EQ(Freq[RootPos], std::accumulate(weights.begin(), weights.end(), 0u));
  }
};

TEST_F(Model, InitialCodes) {
  const struct {
    unsigned symbol;
    const char* code;
  } kCodes[] = {{0x00, "110001100"}, {0x41, "111001101"}, {0x61, "111101101"}, {0x73, "111111111"},
                {0x74, "00000000"},  {0xFF, "10001011"},  {256, "10001100"},   {313, "11000101"}};
  for (const auto& expected : kCodes) {
    EXPECT_EQ(CodeOf(expected.symbol), expected.code) << "symbol " << expected.symbol;
  }
  for (unsigned s = 0; s < SymbolCount; ++s) {
    EXPECT_EQ(CodeOf(s).size(), s < 116 ? 9u : 8u) << "symbol " << s;
  }
  EXPECT_EQ(Freq[RootPos], SymbolCount);
  ExpectConsistent();
}

TEST_F(Model, DecodingALiteralMovesItsLeafPastItsWeightClass) {
  g_memory.Reset(FromHex("F6 80"));  // 111101101: 0x61 in the initial tree
  BitBuf = 0;
  BitCount = 0;
  EXPECT_EQ(DecodeChar(MemorySource), 0x61u);
  EXPECT_EQ(LeafPos(0x61), 313u);
  EXPECT_EQ(LeafPos(313), 97u);
  EXPECT_EQ(CodeOf(0x61), "11000101");
  EXPECT_EQ(CodeOf(313), "111101101");
  EXPECT_EQ(Freq[313], 2);
  EXPECT_EQ(Freq[314], 2);  // the internal node of weight 2 stays where it was
  ExpectConsistent();
}

TEST_F(Model, EqualNeighbourKeepsTheNodeInPlace) {
  UpdateModel(313);  // symbol 313 is already the last leaf: it only gains weight
  EXPECT_EQ(LeafPos(313), 313u);
  EXPECT_EQ(Weight(313), 2u);
  ExpectConsistent();
}

TEST_F(Model, RebuildsExactlyAtTheStartOfThe32455thUpdate) {
  std::mt19937 random(7);
  for (int n = 1; n <= 32454; ++n) UpdateModel(random() % 40);
  ASSERT_EQ(Freq[RootPos], MaxFreq) << "no rebuild may have happened yet";
  ExpectConsistent();

  auto before = LeafWeights();
  unsigned symbol = 3;
  UpdateModel(symbol);  // the 32,455th symbol: halve first, then count it
  unsigned halved_sum = 0;
  for (unsigned s = 0; s < SymbolCount; ++s) {
    unsigned expected = (before[s] + 1) / 2 + (s == symbol ? 1 : 0);
    EXPECT_EQ(Weight(s), expected) << "symbol " << s;
    halved_sum += (before[s] + 1) / 2;
  }
  EXPECT_EQ(Freq[RootPos], halved_sum + 1);
  EXPECT_GE(halved_sum, 16384u);
  EXPECT_LE(halved_sum, 16541u);
  ExpectConsistent();
}

TEST_F(Model, RebuildHalvesWeightsRoundingUp) {
  UpdateModel('b');
  UpdateModel('c');
  UpdateModel('c');
  ASSERT_EQ(Weight('a'), 1u);
  ASSERT_EQ(Weight('b'), 2u);
  ASSERT_EQ(Weight('c'), 3u);
  Reconst();
  EXPECT_EQ(Weight('a'), 1u);
  EXPECT_EQ(Weight('b'), 1u);
  EXPECT_EQ(Weight('c'), 2u);
  ExpectConsistent();
}

TEST_F(Model, InvariantsHoldAcrossManyUpdatesAndRebuilds) {
  // A skewed distribution, as real data has, over enough symbols for several rebuilds.
  std::mt19937 random(2024);
  std::geometric_distribution<unsigned> skewed(0.02);
  unsigned previous_root = Freq[RootPos];
  int rebuilds = 0;
  for (int n = 0; n < 120000; ++n) {
    unsigned symbol = n % 3 == 0 ? random() % SymbolCount : skewed(random) % SymbolCount;
    UpdateModel(symbol);
    if (Freq[RootPos] < previous_root) ++rebuilds;
    previous_root = Freq[RootPos];
    ASSERT_LE(Freq[RootPos], MaxFreq);
    if (n % 4999 == 0) ExpectConsistent();
  }
  ExpectConsistent();
  EXPECT_GE(rebuilds, 5);
}

}  // namespace
