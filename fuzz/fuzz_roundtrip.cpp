// Fuzz target: arbitrary bytes through the compressor, in each of its modes, and back through
// the real decoder.
//
// Checked for every input and mode: the compressed file has the signature and the input's size
// in its header; expanding it with exactly that size gives back exactly the input (a well-formed
// stream ends at the size, so not one byte more); the compressor and the decoder give back every
// heap block they obtain through the heap layer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "expander/lzh_format.h"
#include "expander/window_decoder.h"
#include "fuzz/fuzz_support.h"
#include "packer/lzh_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input(data, data + size);
  for (PackMode mode : {PackMode::Default, PackMode::Best, PackMode::Greedy}) {
    CountingHeap heap;
    std::vector<std::uint8_t> file = PackBuffer(std::span(data, size), mode);
    FuzzCheck(file.size() >= HeaderSize, "the compressed file has a header");
    FuzzCheck(ReadLittleEndian32(file.data()) == LZHSignature, "the header has the signature");
    FuzzCheck(ReadLittleEndian32(file.data() + 4) == size, "the header has the input's size");
    FuzzCheck(Unpack(static_cast<std::int32_t>(size),
                     Bytes(file.begin() + HeaderSize, file.end())) == input,
              "the decoder gives back exactly the input");
    FuzzCheck(heap.live == 0, "every heap block is given back");
  }
  return 0;
}
