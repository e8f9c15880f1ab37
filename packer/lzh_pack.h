// Compressor for the LZH format: turns a byte sequence of known size into a complete compressed
// file ("!HZL", the size, the bit stream) that the expander's LZHUnpack reproduces bit-exactly.
//
// Takes: the size (0 .. MaxPackSize), an input that delivers exactly that many bytes and an
// output for the compressed bytes. Guarantees: well-formed streams only (no match longer than
// the bytes that remain, no match reading window positions 4036..4095 before they are written),
// coded with the expander's own adaptive model (StartHuff/UpdateModel on tables pointed to by
// Freq/Parent/Child while it updates them). Raises ELzhPackError for a size the format cannot
// hold or an input that ends early; exceptions from the input or output pass through. One
// compression at a time (the model works through the expander's module-level table pointers);
// the input and output may run the expander between their calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/exception.h"

BRANNOCK_EXCEPTION_CLASS(ELzhPackError, Exception);

// The size field is a signed 32-bit integer; 2 GiB and more cannot be stored.
inline constexpr std::int64_t MaxPackSize = 0x7FFFFFFF;

enum class PackMode {
  Greedy,   // reference: longest match over the whole window at each position, no look-ahead
  Default,  // hash chains with a bounded search and lazy evaluation; fast, never worse than Greedy
  Best,     // every match at every position (binary trees), cheapest parse priced with the
            // model's weights and the counts of a plain parse that runs ahead
};

// Where the bytes to compress come from. Read returns how many bytes it stored (at most count),
// 0 only at the end of the data.
class PackInput {
 public:
  virtual ~PackInput() = default;
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
};

// Where the compressed bytes go, in order, in pieces of any size.
class PackOutput {
 public:
  virtual ~PackOutput() = default;
  virtual void Write(const std::uint8_t* data, std::size_t count) = 0;
};

// An input over bytes in memory.
class SpanInput : public PackInput {
 public:
  explicit SpanInput(std::span<const std::uint8_t> data) : data_(data) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

 private:
  std::span<const std::uint8_t> data_;
  std::size_t next_ = 0;
};

// An output that appends to a vector.
class VectorOutput : public PackOutput {
 public:
  explicit VectorOutput(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  void Write(const std::uint8_t* data, std::size_t count) override {
    bytes_.insert(bytes_.end(), data, data + count);
  }

 private:
  std::vector<std::uint8_t>& bytes_;
};

// Counts of what the parse chose, for -v and the benchmarks.
struct PackStats {
  std::uint64_t literals = 0;
  std::uint64_t matches = 0;
  std::uint64_t compressed_bytes = 0;  // header included
};

// Compresses `size` bytes from input into a complete compressed file written to output.
PackStats LZHPack(std::int64_t size, PackInput& input, PackOutput& output,
                  PackMode mode = PackMode::Default);

// The same for a buffer in memory; returns the compressed file.
std::vector<std::uint8_t> PackBuffer(std::span<const std::uint8_t> data,
                                     PackMode mode = PackMode::Default);
