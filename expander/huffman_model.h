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

// The update with the table addresses in registers (the tables are the module's own: Reconst
// works on Freq, Parent and Child). Inline so the decoding loop can use it without a call.
inline void UpdateTree(std::uint16_t* freq, std::uint16_t* parent, std::uint16_t* child,
                       unsigned symbol) {
  if (freq[RootPos] == MaxFreq) Reconst();
  unsigned p = parent[symbol + NodeCount];
  do {
    unsigned k = ++freq[p];
    if (freq[p + 1] < k) {
      // Move the node past every node of its old weight k - 1; all of p + 1 .. l have it.
      unsigned l = p + 1;
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
      p = l;
    }
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
