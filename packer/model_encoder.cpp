#include "packer/model_encoder.h"

// Every tree the model builds fits in 24 bits of code: with the sibling property a leaf at
// depth d needs a root weight of at least Fibonacci(d + 2), and the root never exceeds 0x8000
// (Fibonacci(24) = 46368), so d <= 22.
static_assert(MaxFreq < 46368, "codes must fit BitWriter::Put");

ModelEncoder::ModelEncoder() : saved_freq_(Freq), saved_parent_(Parent), saved_child_(Child) {
  Freq = freq_.data();
  Parent = parent_.data();
  Child = child_.data();
  StartHuff();
}

ModelEncoder::~ModelEncoder() {
  Freq = saved_freq_;
  Parent = saved_parent_;
  Child = saved_child_;
}

void ModelEncoder::CodeLengths(std::array<std::uint8_t, SymbolCount>& lengths) const {
  // Parents stand above their children, so one downward pass sees every parent's depth first.
  std::array<std::uint8_t, NodeCount> depth;
  depth[RootPos] = 0;
  for (unsigned p = RootPos; p-- > 0;) {
    depth[p] = static_cast<std::uint8_t>(depth[parent_[p]] + 1);
  }
  for (unsigned s = 0; s < SymbolCount; ++s) lengths[s] = depth[parent_[s + NodeCount]];
}
