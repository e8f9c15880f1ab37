// The yardstick of the decoder benchmark: a plain port of the LZH decoding algorithm, written the
// straightforward way, with nothing tuned.
//
// Callbacks are called through their function pointers, every tree level costs one GetBit call
// (GetBit, GetByte, DecodeChar, UpdateModel, DecodePosition are real calls, as between the units
// of such a port), the bit buffer and the tables are module-level, the model's update climbs Parent
// from the leaf to the root, and the rebuild follows its three steps as they stand. It must produce
// the same bytes as the real decoder (the benchmark checks this before it measures anything). Not
// used by the product; no error handling beyond throwing std::bad_alloc when the tables are
// missing.
#pragma once

#include <cstdint>

#include "expander/lzh_format.h"

namespace baseline {

void LZHUnpack(std::int32_t size, ByteSource source, ByteSink sink);

}  // namespace baseline
