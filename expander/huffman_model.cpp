#include "expander/huffman_model.h"

#include <cstring>

#include "expander/bit_reader.h"

std::uint16_t* Freq = nullptr;
std::uint16_t* Parent = nullptr;
std::uint16_t* Child = nullptr;

void StartHuff() {
  for (unsigned s = 0; s < SymbolCount; ++s) {
    Freq[s] = 1;
    Child[s] = static_cast<std::uint16_t>(s + NodeCount);
    Parent[s + NodeCount] = static_cast<std::uint16_t>(s);
  }
  // Internal nodes join neighbouring pairs: 314 joins 0 and 1, ..., 626 is the root.
  for (unsigned i = 0, p = SymbolCount; p < NodeCount; ++p, i += 2) {
    Freq[p] = static_cast<std::uint16_t>(Freq[i] + Freq[i + 1]);
    Child[p] = static_cast<std::uint16_t>(i);
    Parent[i] = Parent[i + 1] = static_cast<std::uint16_t>(p);
  }
  Freq[NodeCount] = 0xFFFF;
  Parent[RootPos] = 0;
}

unsigned DecodeChar(ByteSource source) {
  CallbackSource callback{source};
  LocalBitReader reader(callback);
  unsigned symbol = WalkTree(Child, reader);
  reader.Store();
  UpdateModel(symbol);
  return symbol;
}

void UpdateModel(unsigned symbol) {
  UpdateTree(Freq, Parent, Child, symbol);
}

void Reconst() {
  // Collect the leaves in their order at 0..313, with halved weights (rounded up).
  unsigned j = 0;
  for (unsigned p = 0; p < NodeCount; ++p) {
    if (Child[p] >= NodeCount) {
      Freq[j] = static_cast<std::uint16_t>((Freq[p] + 1u) / 2);
      Child[j] = Child[p];
      ++j;
    }
  }
  // Join pairs from the bottom, inserting each new node after all nodes of equal weight.
  for (unsigned i = 0, k; j < NodeCount; i += 2, ++j) {
    unsigned f = Freq[i] + Freq[i + 1];
    for (k = j - 1; f < Freq[k]; --k) {
    }
    ++k;
    std::memmove(&Freq[k + 1], &Freq[k], (j - k) * sizeof Freq[0]);
    std::memmove(&Child[k + 1], &Child[k], (j - k) * sizeof Child[0]);
    Freq[k] = static_cast<std::uint16_t>(f);
    Child[k] = static_cast<std::uint16_t>(i);
  }
  // Re-link every parent from the children.
  for (unsigned p = 0; p < NodeCount; ++p) {
    unsigned c = Child[p];
    Parent[c] = static_cast<std::uint16_t>(p);
    if (c < NodeCount) Parent[c + 1] = static_cast<std::uint16_t>(p);
  }
}
