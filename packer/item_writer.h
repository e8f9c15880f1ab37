// Writes the items of a stream: a literal is its symbol; a match is its length symbol
// (length + 253) followed by the position field p = distance - 1 (prefix code of p / 64, then
// the six bits of p % 64). Each symbol goes through the adaptive model, which adapts after it.
#pragma once

#include <array>
#include <cstdint>

#include "expander/lzh_format.h"
#include "packer/bit_writer.h"
#include "packer/match_finder.h"
#include "packer/model_encoder.h"

inline constexpr unsigned LengthSymbolBase = FirstMatchSymbol - MinMatch;  // symbol = length + 253

// The position field of each p, as one code: prefix code of p / 64 followed by the low six bits.
struct PositionField {
  std::array<std::uint16_t, WindowSize> code{};
  std::array<std::uint8_t, WindowSize> length{};
};

constexpr PositionField BuildPositionFields() {
  PositionField fields;
  for (unsigned u = 0; u < WindowSize / 64; ++u) {
    unsigned bits = PositionCodeBits(u), length = PositionCodeLength(u);
    for (unsigned v = 0; v < 64; ++v) {
      fields.code[u << 6 | v] = static_cast<std::uint16_t>(bits << 6 | v);
      fields.length[u << 6 | v] = static_cast<std::uint8_t>(length + 6);
    }
  }
  return fields;
}

extern const PositionField kPositionFields;

class ItemWriter {
 public:
  ItemWriter(BitWriter& bits, ModelEncoder& model, PackStats& stats)
      : bits_(bits), model_(model), stats_(stats) {}

  void Literal(std::uint8_t byte) {
    model_.Put(byte, bits_);
    ++stats_.literals;
  }

  void Copy(Match match) {
    model_.Put(match.length + LengthSymbolBase, bits_);
    unsigned p = match.distance - 1u;
    bits_.Put(kPositionFields.code[p], kPositionFields.length[p]);
    ++stats_.matches;
  }

  ModelEncoder& Model() { return model_; }

 private:
  BitWriter& bits_;
  ModelEncoder& model_;
  PackStats& stats_;
};
