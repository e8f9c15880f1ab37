#include "expander/bit_reader.h"

std::uint16_t BitBuf = 0;
std::uint8_t BitCount = 0;

unsigned GetBit(ByteSource source) {
  CallbackSource callback{source};
  LocalBitReader reader(callback);
  unsigned bit = reader.GetBit();
  reader.Store();
  return bit;
}

unsigned GetByte(ByteSource source) {
  CallbackSource callback{source};
  LocalBitReader reader(callback);
  unsigned byte = reader.GetByte();
  reader.Store();
  return byte;
}
