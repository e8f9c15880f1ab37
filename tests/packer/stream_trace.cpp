#include "stream_trace.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "expander/huffman_model.h"
#include "expander/lzh_format.h"
#include "expander/window_decoder.h"

StreamTrace TraceStream(const Bytes& file) {
  StreamTrace trace;
  if (file.size() < HeaderSize) {
    trace.fault = "shorter than the header";
    return trace;
  }
  std::uint32_t signature = ReadLittleEndian32(file.data());
  std::uint32_t size = ReadLittleEndian32(file.data() + 4);
  if (signature != LZHSignature) {
    trace.fault = "no signature";
    return trace;
  }
  if (static_cast<std::int32_t>(size) < 0) {
    trace.fault = "negative size";
    return trace;
  }

  g_memory.Reset(Bytes(file.begin() + HeaderSize, file.end()));
  AllocDictionaryTables();
  StartHuff();
  std::array<std::uint8_t, WindowSize> window{};
  std::array<bool, WindowSize> usable{};  // initialised or written
  std::fill(window.begin(), window.begin() + InitialWritePos, ' ');
  std::fill(usable.begin(), usable.begin() + InitialWritePos, true);
  unsigned w = InitialWritePos;
  auto put = [&](std::uint8_t byte) {
    trace.output.push_back(byte);
    window[w] = byte;
    usable[w] = true;
    w = (w + 1) % WindowSize;
  };
  while (trace.output.size() < size && trace.fault.empty()) {
    unsigned symbol = DecodeChar(MemorySource);
    if (symbol < FirstMatchSymbol) {
      trace.items.push_back(Literal(static_cast<std::uint8_t>(symbol)));
      put(static_cast<std::uint8_t>(symbol));
      continue;
    }
    unsigned length = symbol - (FirstMatchSymbol - MinMatch);
    unsigned position = DecodePosition(MemorySource);
    trace.items.push_back(Match(length, position));
    if (length > size - trace.output.size()) {
      trace.fault = "item " + std::to_string(trace.items.size()) + " runs past the size";
    }
    unsigned from = (w + WindowSize - position - 1) % WindowSize;
    for (unsigned k = 0; k < length; ++k, from = (from + 1) % WindowSize) {
      if (!usable[from] && trace.fault.empty()) {
        trace.fault = "item " + std::to_string(trace.items.size()) +
                      " reads unwritten window position " + std::to_string(from);
      }
      put(window[from]);
    }
  }
  FreeDictionaryTables();
  return trace;
}

bool HasMatch(const StreamTrace& trace, unsigned length, unsigned position) {
  return std::any_of(trace.items.begin(), trace.items.end(), [&](const Item& item) {
    return item.length == length && item.value == position;
  });
}
