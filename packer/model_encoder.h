// The encoding side of the adaptive Huffman model: writes the code of a symbol as the model
// stands, then updates the model exactly as the decoder does after reading it.
//
// The model itself is the expander's (StartHuff, UpdateModel, Reconst), working on the
// module-level tables Freq, Parent and Child. A ModelEncoder owns a set of tables, points those
// globals at them whenever it updates the model and restores the previous pointers when it ends,
// so the expander's state is left as it was and an expansion may run between two symbols.
//
// The code of a symbol is the path from the root to its leaf. Children of a node always stand
// at an even position c and at c + 1 (StartHuff, UpdateModel and Reconst only ever store even
// child positions), so the bit that leads to the node at position p is p & 1, and the code can
// be read by climbing from the leaf (Parent[627 + s]) to the root (position 626).
#pragma once

#include <array>
#include <cstdint>

#include "expander/huffman_model.h"
#include "packer/bit_writer.h"

class ModelEncoder {
 public:
  ModelEncoder();
  ~ModelEncoder();
  ModelEncoder(const ModelEncoder&) = delete;
  ModelEncoder& operator=(const ModelEncoder&) = delete;

  // Updates the model as Put does, without writing the code (for a parse that only looks ahead).
  void Skip(unsigned symbol) {
    Freq = freq_.data();
    Parent = parent_.data();
    Child = child_.data();
    UpdateModel(symbol);
  }

  // Writes the code of symbol (0..313) and updates the model.
  void Put(unsigned symbol, BitWriter& bits) {
    unsigned length;
    std::uint32_t code = Code(symbol, length);
    bits.Put(code, length);
    // Point the module's tables at ours again: the input or output may have run the expander
    // (which takes the globals for its own tables) since the last symbol.
    Freq = freq_.data();
    Parent = parent_.data();
    Child = child_.data();
    UpdateModel(symbol);
  }

  // The current code of a symbol, right-aligned, and its length.
  std::uint32_t Code(unsigned symbol, unsigned& length) const {
    std::uint32_t code = 0;
    length = 0;
    for (unsigned p = parent_[symbol + NodeCount]; p != RootPos; p = parent_[p]) {
      code |= (p & 1u) << length;
      ++length;
    }
    return code;
  }

  // The current code length of every symbol, in bits.
  void CodeLengths(std::array<std::uint8_t, SymbolCount>& lengths) const;

  // The model's weights: of the leaf of a symbol, and of the root (the sum of all leaves).
  unsigned Weight(unsigned symbol) const { return freq_[parent_[symbol + NodeCount]]; }
  unsigned TotalWeight() const { return freq_[RootPos]; }

 private:
  std::array<std::uint16_t, FreqEntries> freq_;
  std::array<std::uint16_t, ParentEntries> parent_;
  std::array<std::uint16_t, ChildEntries> child_;
  std::uint16_t* saved_freq_;
  std::uint16_t* saved_parent_;
  std::uint16_t* saved_child_;
};
