// Adaptive Huffman model of the 314 symbols: decodes one symbol per call and adapts its code.
//
// The tree lives in three tables kept sorted by weight (the sibling property), so an update only
// exchanges a node with the last node of its weight class. The tables are obtained and given
// back by the window decoder (AllocDictionaryTables); StartHuff builds the initial tree in them.
// The compressor drives the same model (StartHuff, UpdateModel) to stay in step with it.
//
//   Freq[p]    weight of the node at position p (0..626); Freq[627] = 0xFFFF is a sentinel
//   Child[p]   >= 627: leaf of symbol Child[p] - 627; else children at Child[p] (bit 0) and +1
//   Parent[c]  position of the node whose Child value is c (c < 627), or of the leaf of symbol
//              c - 627; Parent[626] = 0 ends every climb at the root
//
// Nothing here allocates or fails.
#pragma once

#include <cstdint>

#include "expander/lzh_format.h"

inline constexpr unsigned NodeCount = 2 * SymbolCount - 1;  // 627 positions
inline constexpr unsigned RootPos = NodeCount - 1;          // 626
inline constexpr unsigned MaxFreq = 0x8000;                 // root weight that triggers Reconst
inline constexpr unsigned FreqEntries = NodeCount + 1;      // with the sentinel
inline constexpr unsigned ParentEntries = NodeCount + SymbolCount;
inline constexpr unsigned ChildEntries = NodeCount;

extern std::uint16_t* Freq;
extern std::uint16_t* Parent;
extern std::uint16_t* Child;

void StartHuff();
unsigned DecodeChar(ByteSource source);
void UpdateModel(unsigned symbol);
void Reconst();

// The node at p has just reached weight k and stands before a lighter node: exchange its subtree
// with that of the last node of its old weight k - 1 (all of p + 1 .. l have it). Returns l.
// The node lands at the highest position below the first node that already weighs k.
inline unsigned MoveNode(std::uint16_t* freq, std::uint16_t* parent, std::uint16_t* child,
                         unsigned p, unsigned k) {
  unsigned l = p + 1;
  if (p + 8 <= NodeCount) [[likely]] {
    // Weights are sorted, so the run of weights below k ends after as many of the next seven
    // positions as hold one: counted without a branch, which a loop would mispredict.
    const std::uint16_t* f = freq + p;
    l += (f[2] < k) + (f[3] < k) + (f[4] < k) + (f[5] < k) + (f[6] < k) + (f[7] < k) + (f[8] < k);
  }
  while (freq[l + 1] < k) ++l;
  freq[p] = freq[l];
  freq[l] = static_cast<std::uint16_t>(k);
  // Exchange the subtrees at p and l. For a leaf (value >= 627) the second store repeats the
  // first, so no branch is needed for "and its sibling too when internal".
  unsigned a = child[p];
  parent[a] = static_cast<std::uint16_t>(l);
  parent[a + (a < NodeCount)] = static_cast<std::uint16_t>(l);
  unsigned b = child[l];
  child[l] = static_cast<std::uint16_t>(a);
  parent[b] = static_cast<std::uint16_t>(p);
  parent[b + (b < NodeCount)] = static_cast<std::uint16_t>(p);
  child[p] = static_cast<std::uint16_t>(b);
  return l;
}

// The update with the table addresses in registers (the tables are the module's own: Reconst
// works on Freq, Parent and Child): count the symbol at its leaf and every ancestor, moving each
// node that becomes heavier than its right neighbour.
inline void UpdateTree(std::uint16_t* freq, std::uint16_t* parent, std::uint16_t* child,
                       unsigned symbol) {
  if (freq[RootPos] == MaxFreq) Reconst();
  unsigned p = parent[symbol + NodeCount];
  do {
    unsigned k = ++freq[p];
    if (freq[p + 1] < k) p = MoveNode(freq, parent, child, p, k);
    p = parent[p];
  } while (p != 0);
}

// Walks from the root to a leaf, one bit per level; every bit sequence leads to a symbol.
template <class Reader>
inline unsigned WalkTree(const std::uint16_t* child, Reader& reader) {
  unsigned c = child[RootPos];
  while (c < NodeCount) c = child[c + reader.GetBit()];
  return c - NodeCount;
}

// The decoding loop's view of the model: DecodeChar and UpdateTree on the same tables, with the
// walk taking two levels per table look-up. Nothing else differs: the tree, its updates and its
// rebuilds are those of the module tables, step for step.
//
// The children of every internal node stand at a pair of positions c, c + 1 with c even (the
// pairs are fixed: StartHuff and Reconst join positions 2i and 2i + 1, and an update only
// exchanges the contents of positions). For the position q = c + b1 that a bit b1 leads to,
// entries 2q and 2q + 1 of steps_ say where the following bit b2 leads:
//   - Child[q] is a leaf: that Child value, plus OneBit (the walk takes only b1);
//   - else the Child value at position Child[q] + b2: below 627 the next pair, from 627 a leaf
//     reached after both bits.
// So the entries of q depend on Child at q and at its two children. When an update exchanges the
// contents of positions p and l, the entries of p and l are refreshed, and the one entry that
// leads into each of them from its parent's position; after a rebuild all of them.
//
// Where the time goes (libstdc++-6.dll: 8.2 tree levels and 0.72 exchanges per symbol): the
// climb is one dependent load of Parent per level and is kept as tight as UpdateTree's; the
// exchange is out of line so that the climb keeps its registers, and it finds the end of a run of
// equal weights without a loop for runs of up to eight; the walk halves its chain of loads.
class TwoLevelWalk {
 public:
  TwoLevelWalk(std::uint16_t* freq, std::uint16_t* parent, std::uint16_t* child)
      : freq_(freq), parent_(parent), child_(child) {}

  // Fills every entry from Child (after StartHuff or Reconst).
  void Build() {
    for (unsigned q = 0; q < RootPos; ++q) Refresh(q);
  }

  // The symbol whose code comes next. Fetches a byte only when fewer than two bits are buffered
  // (a code has at least one bit, and GetBit would have fetched it with 8 more).
  template <class Reader>
  unsigned Decode(Reader& reader) const {
    unsigned c = child_[RootPos];
    for (;;) {
      reader.Need(2);
      unsigned next = steps_[2 * c + reader.Peek(2)];
      if (next < NodeCount) {
        reader.Skip(2);
        c = next;
        continue;
      }
      reader.Skip(2 - (next >> OneBitShift));
      return (next & ~OneBit) - NodeCount;
    }
  }

  // UpdateTree for the symbol that Decode has just returned, the entries refreshed after every
  // exchange.
  void Update(unsigned symbol) {
    std::uint16_t* const freq = freq_;
    std::uint16_t* const parent = parent_;
    if (freq[RootPos] == MaxFreq) {
      Reconst();
      Build();
    }
    unsigned p = parent[symbol + NodeCount];
    do {
      unsigned k = ++freq[p];
      if (freq[p + 1] < k) [[unlikely]]
        p = Move(p, k);
      p = parent[p];
    } while (p != 0);
  }

 private:
  // MoveNode, then the entries of the two exchanged positions. Returns where the node went.
  [[gnu::noinline]] unsigned Move(unsigned p, unsigned k) {
    std::uint16_t* const child = child_;
    std::uint16_t* const parent = parent_;
    unsigned l = MoveNode(freq_, parent, child, p, k);
    unsigned a = child[l];  // the subtree that moved up, from p
    unsigned b = child[p];  // the one that moved down, from l
    // Child changed at p and l: their own entries, and the entry that leads into each of them
    // from its parent's position (the root's position has none: no entry leads to the root).
    Refresh(p);
    Refresh(l);
    if (unsigned q = parent[p]; q != RootPos)
      steps_[2 * q + (p & 1)] = static_cast<std::uint16_t>(b);
    if (unsigned q = parent[l]; q != RootPos)
      steps_[2 * q + (l & 1)] = static_cast<std::uint16_t>(a);
    return l;
  }

  static constexpr unsigned OneBitShift = 15;
  static constexpr unsigned OneBit = 1u << OneBitShift;
  static_assert(2 * NodeCount < OneBit, "Child values stay below the flag");

  // The two entries of position q, without a branch on whether Child[q] is a leaf.
  void Refresh(unsigned q) {
    unsigned c = child_[q];
    bool leaf = c >= NodeCount;
    unsigned inner = leaf ? 0 : c;
    std::uint16_t e0 = child_[inner], e1 = child_[inner + 1];
    std::uint16_t flagged = static_cast<std::uint16_t>(c | OneBit);
    steps_[2 * q] = leaf ? flagged : e0;
    steps_[2 * q + 1] = leaf ? flagged : e1;
  }

  std::uint16_t* freq_;
  std::uint16_t* parent_;
  std::uint16_t* child_;
  // Entries 2q and 2q + 1 for position q, 0..625 (the root has none).
  std::uint16_t steps_[2 * RootPos];
};
