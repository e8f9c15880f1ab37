#include "bench/baseline_decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace baseline {
namespace {

constexpr unsigned NodeCount = 2 * SymbolCount - 1;  // 627
constexpr unsigned RootPos = NodeCount - 1;          // 626
constexpr unsigned MaxFreq = 0x8000;

// Each operation of the decoder is a function of its own and a real call, as in a port that keeps
// one unit per stage (bit reader, model, window decoder): noinline keeps the compiler from merging
// them here, where they happen to share a file.

// Module-level state, as the decoder keeps it.
std::uint16_t BitBuf = 0;
std::uint8_t BitCount = 0;
std::uint8_t* RingBuffer = nullptr;
std::uint16_t* Freq = nullptr;    // 628 entries, the last one a 0xFFFF sentinel
std::uint16_t* Parent = nullptr;  // 941 entries
std::uint16_t* Child = nullptr;   // 627 entries

void Refill(ByteSource source) {
  while (BitCount <= 8) {
    std::uint8_t byte = 0;
    std::uint16_t actual = 0;
    source(&byte, 1, actual);
    if (actual != 1) byte = 0;
    BitBuf = static_cast<std::uint16_t>(BitBuf | (byte << (8 - BitCount)));
    BitCount = static_cast<std::uint8_t>(BitCount + 8);
  }
}

[[gnu::noinline]] unsigned GetBit(ByteSource source) {
  Refill(source);
  unsigned bit = BitBuf >> 15;
  BitBuf = static_cast<std::uint16_t>(BitBuf << 1);
  BitCount = static_cast<std::uint8_t>(BitCount - 1);
  return bit;
}

[[gnu::noinline]] unsigned GetByte(ByteSource source) {
  Refill(source);
  unsigned byte = BitBuf >> 8;
  BitBuf = static_cast<std::uint16_t>(BitBuf << 8);
  BitCount = static_cast<std::uint8_t>(BitCount - 8);
  return byte;
}

[[gnu::noinline]] void StartHuff() {
  for (unsigned s = 0; s < SymbolCount; ++s) {
    Freq[s] = 1;
    Child[s] = static_cast<std::uint16_t>(s + NodeCount);
    Parent[s + NodeCount] = static_cast<std::uint16_t>(s);
  }
  unsigned i = 0;
  for (unsigned p = SymbolCount; p < NodeCount; ++p) {
    Freq[p] = static_cast<std::uint16_t>(Freq[i] + Freq[i + 1]);
    Child[p] = static_cast<std::uint16_t>(i);
    Parent[i] = static_cast<std::uint16_t>(p);
    Parent[i + 1] = static_cast<std::uint16_t>(p);
    i += 2;
  }
  Freq[NodeCount] = 0xFFFF;
  Parent[RootPos] = 0;
}

[[gnu::noinline]] void Reconst() {
  // 1. Collect the leaves at 0..313 with halved weights, rounded up.
  unsigned j = 0;
  for (unsigned p = 0; p < NodeCount; ++p) {
    if (Child[p] >= NodeCount) {
      Freq[j] = static_cast<std::uint16_t>((Freq[p] + 1) / 2);
      Child[j] = Child[p];
      ++j;
    }
  }
  // 2. Join pairs, inserting each new node after the nodes of equal weight.
  unsigned i = 0;
  for (j = SymbolCount; j < NodeCount; ++j) {
    unsigned f = Freq[i] + Freq[i + 1];
    unsigned k = j - 1;
    while (f < Freq[k]) --k;
    ++k;
    std::memmove(&Freq[k + 1], &Freq[k], (j - k) * sizeof(std::uint16_t));
    std::memmove(&Child[k + 1], &Child[k], (j - k) * sizeof(std::uint16_t));
    Freq[k] = static_cast<std::uint16_t>(f);
    Child[k] = static_cast<std::uint16_t>(i);
    i += 2;
  }
  // 3. Re-link the parents.
  for (unsigned p = 0; p < NodeCount; ++p) {
    unsigned c = Child[p];
    Parent[c] = static_cast<std::uint16_t>(p);
    if (c < NodeCount) Parent[c + 1] = static_cast<std::uint16_t>(p);
  }
}

[[gnu::noinline]] void UpdateModel(unsigned symbol) {
  if (Freq[RootPos] == MaxFreq) Reconst();
  unsigned p = Parent[symbol + NodeCount];
  do {
    ++Freq[p];
    unsigned k = Freq[p];
    if (Freq[p + 1] < k) {
      unsigned l = p + 1;
      while (Freq[l] < k) ++l;
      --l;
      Freq[p] = Freq[l];
      Freq[l] = static_cast<std::uint16_t>(k);

      unsigned a = Child[p];
      Parent[a] = static_cast<std::uint16_t>(l);
      if (a < NodeCount) Parent[a + 1] = static_cast<std::uint16_t>(l);

      unsigned b = Child[l];
      Child[l] = static_cast<std::uint16_t>(a);
      Parent[b] = static_cast<std::uint16_t>(p);
      if (b < NodeCount) Parent[b + 1] = static_cast<std::uint16_t>(p);
      Child[p] = static_cast<std::uint16_t>(b);

      p = l;
    }
    p = Parent[p];
  } while (p != 0);
}

[[gnu::noinline]] unsigned DecodeChar(ByteSource source) {
  unsigned c = Child[RootPos];
  while (c < NodeCount) c = Child[c + GetBit(source)];
  unsigned symbol = c - NodeCount;
  UpdateModel(symbol);
  return symbol;
}

[[gnu::noinline]] unsigned DecodePosition(ByteSource source) {
  unsigned b = GetByte(source);
  unsigned u = PosCode[b];
  unsigned n = PosLen[b] - 2u;
  while (n-- != 0) b = ((b << 1) + GetBit(source)) & 0xFFFF;
  return u * 64 + (b % 64);
}

void AllocDictionaryTables() {
  BitBuf = 0;
  BitCount = 0;
  RingBuffer = static_cast<std::uint8_t*>(std::malloc(WindowSize));
  Freq = static_cast<std::uint16_t*>(std::malloc((NodeCount + 1) * sizeof(std::uint16_t)));
  Parent =
      static_cast<std::uint16_t*>(std::malloc((NodeCount + SymbolCount) * sizeof(std::uint16_t)));
  Child = static_cast<std::uint16_t*>(std::malloc(NodeCount * sizeof(std::uint16_t)));
  if (!RingBuffer || !Freq || !Parent || !Child) throw std::bad_alloc();
}

void FreeDictionaryTables() {
  std::free(Child);
  std::free(Parent);
  std::free(Freq);
  std::free(RingBuffer);
  RingBuffer = nullptr;
  Freq = Parent = Child = nullptr;
}

}  // namespace

void LZHUnpack(std::int32_t size, ByteSource source, ByteSink sink) {
  AllocDictionaryTables();
  try {
    StartHuff();
    for (unsigned i = 0; i < InitialWritePos; ++i) RingBuffer[i] = ' ';
    // The product decoder clears the positions a well-formed stream never reads before writing
    // them; so does the yardstick, so that the outputs can be compared byte for byte.
    for (unsigned i = InitialWritePos; i < WindowSize; ++i) RingBuffer[i] = 0;
    unsigned w = InitialWritePos;
    std::int32_t delivered = 0;
    while (delivered < size) {
      unsigned c = DecodeChar(source);
      std::uint16_t actual = 0;
      if (c < 256) {
        std::uint8_t byte = static_cast<std::uint8_t>(c);
        sink(&byte, 1, actual);
        RingBuffer[w] = byte;
        w = (w + 1) % WindowSize;
        ++delivered;
      } else {
        unsigned p = DecodePosition(source);
        unsigned s = (w - p - 1) % WindowSize;
        unsigned n = c - 253;
        for (unsigned k = 0; k < n; ++k) {
          std::uint8_t byte = RingBuffer[(s + k) % WindowSize];
          sink(&byte, 1, actual);
          RingBuffer[w] = byte;
          w = (w + 1) % WindowSize;
          ++delivered;
        }
      }
    }
  } catch (...) {
    FreeDictionaryTables();
    throw;
  }
  FreeDictionaryTables();
}

}  // namespace baseline
