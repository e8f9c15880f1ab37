// Bit reader: the compressed stream in its bit order (most significant bit of each byte first),
// one bit or eight bits at a time, pulled from a ByteSource one byte per call.
//
// Refill rule: before a read, while 8 or fewer bits are buffered, fetch one byte (a call that
// does not deliver exactly one byte counts as 0x00). So a read makes at most one source call,
// except the first after a reset, which makes two; past the end of the input every further
// eight bits cost one more call. The reader itself never fails; source exceptions pass through.
#pragma once

#include <cstdint>

#include "expander/lzh_format.h"

extern std::uint16_t BitBuf;   // valid bits at the top, zeros below
extern std::uint8_t BitCount;  // number of valid bits, 0..16

unsigned GetBit(ByteSource source);
unsigned GetByte(ByteSource source);

// A ByteSource called through its function pointer, as the Source of LocalBitReader.
struct CallbackSource {
  ByteSource source;
  std::uint8_t Fetch() {
    std::uint8_t byte = 0;
    std::uint16_t actual = 0;
    source(&byte, 1, actual);
    return actual == 1 ? byte : 0;
  }
};

// The same reader with its state in locals, for the decoding loop: the buffered bits stand at
// the top of a 32-bit register (BitBuf << 16). Source needs `std::uint8_t Fetch()` returning the
// next byte, or 0 where the source delivered none. Load from and Store to the module state.
//
// GetBit and GetByte follow the refill rule above to the letter. The decoding loop may instead
// read an item's bits in larger steps: Peek, Skip and Need fetch only when bits are missing, and
// TopUp then brings the reader to the state that reading the item bit by bit would have left
// (8 to 15 bits buffered after a last GetBit; the bytes fetched are then the same). Between the
// start and the end of one item the source is called at other moments, but no sink call lies
// in between, so the sequence of source and sink calls is exactly that of GetBit and GetByte.
template <class Source>
class LocalBitReader {
 public:
  explicit LocalBitReader(Source& source)
      : source_(source), bits_(std::uint32_t{BitBuf} << 16), count_(BitCount) {}

  void Store() const {
    BitBuf = static_cast<std::uint16_t>(bits_ >> 16);
    BitCount = static_cast<std::uint8_t>(count_);
  }

  unsigned GetBit() {
    Refill();
    unsigned bit = bits_ >> 31;
    bits_ <<= 1;
    --count_;
    return bit;
  }

  unsigned GetByte() {
    Refill();
    unsigned byte = bits_ >> 24;
    bits_ <<= 8;
    count_ -= 8;
    return byte;
  }

  // The next n bits (1 to 24) without taking them; they must have been made available by Need.
  unsigned Peek(unsigned n) const { return bits_ >> (32 - n); }
  void Skip(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Makes at least n bits (at most 17) available, fetching only what is missing. Only for bits
  // the current item is known to need: it must not fetch beyond what GetBit would have fetched
  // by the end of the item (TopUp's state).
  void Need(unsigned n) {
    while (count_ < n) Fetch();
  }
  // The state after the item's last bit had been read with GetBit: 8 to 15 bits buffered.
  void TopUp() {
    if (count_ < 8) Fetch();
  }

 private:
  void Refill() {
    while (count_ <= 8) Fetch();
  }

  void Fetch() {
    bits_ |= std::uint32_t{source_.Fetch()} << (24 - count_);
    count_ += 8;
  }

  Source& source_;
  std::uint32_t bits_;
  unsigned count_;
};
