// Bit writer: codes of up to 32 bits, most significant bit first, packed without alignment into
// bytes in file order; the last byte is filled with zero bits. The bytes go to a PackOutput in
// blocks of OutputBlockSize.
#pragma once

#include <cstdint>
#include <vector>

#include "packer/lzh_pack.h"

class BitWriter {
 public:
  static constexpr std::size_t OutputBlockSize = 1 << 16;

  explicit BitWriter(PackOutput& output) : output_(output), block_(OutputBlockSize + 8) {}

  // Appends the low `count` bits of `code` (count <= 32), the highest of them first.
  void Put(std::uint32_t code, unsigned count) {
    bits_ = (bits_ << count) | code;
    pending_ += count;
    if (pending_ >= 32) {
      pending_ -= 32;
      std::uint32_t word = static_cast<std::uint32_t>(bits_ >> pending_);
      std::uint8_t* out = block_.data() + used_;
      out[0] = static_cast<std::uint8_t>(word >> 24);
      out[1] = static_cast<std::uint8_t>(word >> 16);
      out[2] = static_cast<std::uint8_t>(word >> 8);
      out[3] = static_cast<std::uint8_t>(word);
      used_ += 4;
      if (used_ >= OutputBlockSize) Drain();
    }
  }

  // Pads the last byte with zero bits and hands everything to the output.
  void Finish() {
    while (pending_ >= 8) {
      pending_ -= 8;
      block_[used_++] = static_cast<std::uint8_t>(bits_ >> pending_);
    }
    if (pending_ > 0) {
      block_[used_++] = static_cast<std::uint8_t>(bits_ << (8 - pending_));
      pending_ = 0;
    }
    Drain();
  }

  // Bytes handed to the output so far (complete after Finish).
  std::uint64_t BytesWritten() const { return written_; }

 private:
  void Drain() {
    if (used_ != 0) output_.Write(block_.data(), used_);
    written_ += used_;
    used_ = 0;
  }

  PackOutput& output_;
  std::vector<std::uint8_t> block_;  // bytes not yet handed over, plus room for one word
  std::size_t used_ = 0;             // bytes in block_
  std::uint64_t bits_ = 0;           // the last `pending_` bits are not yet in block_
  unsigned pending_ = 0;             // 0..31 between calls
  std::uint64_t written_ = 0;
};
