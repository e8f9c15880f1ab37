// The LZH compressed format: constants, the container header and the position code.
//
// A compressed file is an 8-byte header and a bit stream (LZSS over a 4096-byte window, symbols
// coded with an adaptive Huffman code, match positions with a fixed prefix code):
//
//   offset 0      4                 8
//          +------+-----------------+------------------------------------------+
//          | !HZL | size (int32 LE) | items, MSB first, no alignment, 0-padded |
//          +------+-----------------+------------------------------------------+
//   item    = symbol                       symbol 0..255: literal byte
//           | symbol position              symbol 256..313: match of (symbol - 253) bytes
//   position p (0..4095): prefix code of u = p / 64 (3..8 bits, table below), then the six bits
//           of p % 64. A match copies from p + 1 bytes behind the write position.
//
//   u       0    1..3   4..11  12..23  24..47   48..63
//   bits    3    4      5      6       7        8       (canonical: 000, 0010, 0011, ...)
//
// Shared by the expander, the launcher and the host tools.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::uint32_t LZHSignature = 0x4C5A4821;  // the bytes "!HZL", read little-endian
inline constexpr unsigned HeaderSize = 8;                  // signature + uncompressed size

inline constexpr unsigned WindowSize = 4096;       // window positions 0..4095, arithmetic mod 4096
inline constexpr unsigned InitialWritePos = 4036;  // positions 0..4035 start as spaces
inline constexpr unsigned MinMatch = 3;            // shortest match
inline constexpr unsigned MaxMatch = 60;           // longest match
inline constexpr unsigned SymbolCount = 314;       // 256 literals + (MaxMatch - MinMatch + 1)
inline constexpr unsigned FirstMatchSymbol = 256;  // symbol of a match of MinMatch bytes

// The header's fields are 32-bit little-endian, whatever the host's byte order.
constexpr std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
constexpr void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (unsigned i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

static_assert(WindowSize == 4096 && (WindowSize & (WindowSize - 1)) == 0,
              "positions wrap with a mask");
static_assert(SymbolCount == 256 + MaxMatch - MinMatch + 1);
static_assert(FirstMatchSymbol - (MinMatch - 3) == 256, "length = symbol - 253");

// The callbacks through which the window decoder pulls compressed bytes and pushes output bytes.
// Both always move exactly one byte per call; actual receives the count really moved.
using ByteSource = void (*)(std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual);
using ByteSink = void (*)(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual);

// Length in bits of the prefix code of u = position / 64.
constexpr unsigned PositionCodeLength(unsigned u) {
  return u < 1 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
}

// The decoding tables of the position code, indexed by the next eight bits of the stream:
// PosCode[b] is the u whose code is a prefix of b, PosLen[b] the length of that code. Built by
// giving each u in turn the next 2^(8 - length) entries; this is the canonical code above.
struct PositionTables {
  std::array<std::uint8_t, 256> code{};
  std::array<std::uint8_t, 256> length{};
};

constexpr PositionTables BuildPositionTables() {
  PositionTables tables;
  unsigned b = 0;
  for (unsigned u = 0; u < 64; ++u) {
    unsigned length = PositionCodeLength(u);
    for (unsigned i = 0; i < (1u << (8 - length)); ++i, ++b) {
      tables.code[b] = static_cast<std::uint8_t>(u);
      tables.length[b] = static_cast<std::uint8_t>(length);
    }
  }
  return tables;
}

inline constexpr PositionTables kPositionTables = BuildPositionTables();
inline constexpr const std::array<std::uint8_t, 256>& PosCode = kPositionTables.code;
inline constexpr const std::array<std::uint8_t, 256>& PosLen = kPositionTables.length;

// The prefix code of u, right-aligned in PositionCodeLength(u) bits (for the compressor).
constexpr unsigned PositionCodeBits(unsigned u) {
  unsigned b = 0;
  while (PosCode[b] != u) ++b;
  return b >> (8 - PositionCodeLength(u));
}

static_assert(PosCode[0x1F] == 0 && PosCode[0x20] == 1 && PosCode[0xF0] == 48 &&
              PosCode[0xFF] == 63 && PosLen[0xFF] == 8);
static_assert(PositionCodeBits(1) == 0b0010 && PositionCodeBits(4) == 0b01010 &&
              PositionCodeBits(12) == 0b100100 && PositionCodeBits(63) == 0xFF);
