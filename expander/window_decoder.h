// Window decoder: expands one compressed bit stream (the part after the 8-byte header) into
// `size` bytes, pulling compressed bytes from a source and pushing every output byte to a sink,
// one byte per call in each direction.
//
// Takes: the uncompressed size (<= 0 means no output, and nothing is read) and two callbacks.
// Guarantees: at least `size` bytes out, at most 59 more when the stream's last match crosses
// the size; the work tables are obtained per call and always given back. Damaged streams are not
// detected (every bit sequence decodes). Raises ElzhException when the tables cannot be obtained
// or given back; exceptions from the callbacks pass through unchanged.
#pragma once

#include <cstdint>

#include "expander/bit_reader.h"
#include "expander/huffman_model.h"
#include "expander/lzh_format.h"
#include "platform/exception.h"

BRANNOCK_EXCEPTION_CLASS(ElzhException, Exception);

extern std::uint8_t* RingBuffer;  // the window, positions 0..4095

void LZHUnpack(std::int32_t size, ByteSource source, ByteSink sink);
unsigned DecodePosition(ByteSource source);
void AllocDictionaryTables();
void FreeDictionaryTables();

// A ByteSink called through its function pointer, as the Sink of UnpackStream.
struct CallbackSink {
  ByteSink sink;
  void Put(std::uint8_t byte) {
    std::uint16_t actual = 0;
    sink(&byte, 1, actual);
  }
};

// The position field: eight bits hold the prefix code of u and the first bits of the low six;
// PosLen - 2 further bits complete them.
template <class Reader>
inline unsigned ReadPosition(Reader& reader) {
  unsigned b = reader.GetByte();
  unsigned u = PosCode[b];
  for (unsigned n = PosLen[b] - 2u; n != 0; --n) b = (b << 1) | reader.GetBit();
  return (u << 6) | (b & 63);
}

// The same field in one piece. It is 9 to 14 bits long and ends its item, so the reader may
// fetch 14 bits at once: read bit by bit, the item would end with at least 8 more bits fetched
// beyond its last one, 17 or more from the field's start.
template <class Reader>
inline unsigned ReadPositionField(Reader& reader) {
  reader.Need(14);
  unsigned b = reader.Peek(8);
  unsigned length = PosLen[b] + 6u;
  unsigned field = reader.Peek(length);
  reader.Skip(length);
  return (unsigned{PosCode[b]} << 6) | (field & 63);
}

// The decoding loop, for tables already obtained. Source needs `std::uint8_t Fetch()` (the next
// byte, or 0 where none came), Sink `void Put(std::uint8_t)`. Both are called exactly as the
// callbacks would be, so the driver can hand in its own buffered reader and writer inline. A
// sink that buffers may also offer `std::uint8_t* Reserve(unsigned n)` (room for n bytes in
// its buffer, or nullptr) and `void Commit(std::uint8_t* end)`: a match that fits is then
// written there directly, with the same bytes in the same order as Put would have placed them.
//
// Per item: walk the tree to a symbol (two levels per look-up), update the model, then either
// emit a literal or read a position and copy byte by byte from p + 1 behind the write position
// (a match may overlap what it writes). The bits of an item are taken as they are needed, and
// before its first byte goes out the reader is topped up to where GetBit would have left it, so
// the source sees the same calls between the same sink calls. Each byte goes to the sink before
// it enters the window. The size is checked only between items, so a match is always copied
// whole.
template <class Source, class Sink>
void UnpackStream(std::int32_t size, Source& source, Sink& sink) {
  std::uint8_t* const ring = RingBuffer;
  LocalBitReader<Source> reader(source);
  TwoLevelWalk model(Freq, Parent, Child);

  StartHuff();
  model.Build();
  for (unsigned i = 0; i < InitialWritePos; ++i) ring[i] = ' ';
  // The rest of the window is never read by a well-formed stream before it is written; clear it
  // so that no output can depend on what the heap left there.
  for (unsigned i = InitialWritePos; i < WindowSize; ++i) ring[i] = 0;

  // Counted unsigned: a size near 2^31 plus a last match of up to 59 extra bytes cannot overflow.
  const std::uint32_t limit = size > 0 ? static_cast<std::uint32_t>(size) : 0;
  std::uint32_t delivered = 0;
  unsigned w = InitialWritePos;
  while (delivered < limit) {
    unsigned c = model.Decode(reader);
    model.Update(c);
    if (c < 256) {
      reader.TopUp();
      sink.Put(static_cast<std::uint8_t>(c));
      ring[w] = static_cast<std::uint8_t>(c);
      w = (w + 1) & (WindowSize - 1);
      ++delivered;
      continue;
    }
    unsigned p = ReadPositionField(reader);
    reader.TopUp();
    unsigned s = (w - p - 1) & (WindowSize - 1);
    unsigned n = c - (FirstMatchSymbol - MinMatch);
    delivered += n;
    if (s + n <= WindowSize && w + n <= WindowSize) {
      // Neither range wraps: plain pointers. Byte by byte, so an overlapping source repeats
      // what was just written, as the window rule says.
      const std::uint8_t* from = ring + s;
      std::uint8_t* to = ring + w;
      w = (w + n) & (WindowSize - 1);
      if constexpr (requires { sink.Reserve(n); }) {
        // A sink that can take the whole match in its current block lends the room directly.
        if (std::uint8_t* out = sink.Reserve(n)) {
          do {
            std::uint8_t byte = *from++;
            *out++ = byte;
            *to++ = byte;
          } while (--n != 0);
          sink.Commit(out);
          continue;
        }
      }
      do {
        std::uint8_t byte = *from++;
        sink.Put(byte);
        *to++ = byte;
      } while (--n != 0);
    } else {
      do {
        std::uint8_t byte = ring[s];
        sink.Put(byte);
        ring[w] = byte;
        s = (s + 1) & (WindowSize - 1);
        w = (w + 1) & (WindowSize - 1);
      } while (--n != 0);
    }
  }
  reader.Store();
}

// LZHUnpack with source and sink of any kind: obtains the tables, decodes, gives them back on
// every path (an error while giving them back replaces one that was passing through).
template <class Source, class Sink>
void UnpackWith(std::int32_t size, Source& source, Sink& sink) {
  AllocDictionaryTables();
  try {
    UnpackStream(size, source, sink);
  } catch (...) {
    FreeDictionaryTables();
    throw;
  }
  FreeDictionaryTables();
}
