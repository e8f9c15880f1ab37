// Reads a compressed file back item by item with the expander's own pieces (DecodeChar,
// DecodePosition) and checks the rules a well-formed stream keeps that the decoder does not
// enforce: no match reads a window position that has not been initialised or written (4036..4095
// at the start), and no match runs past the uncompressed size.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

struct StreamTrace {
  std::vector<Item> items;  // in stream order; a match's value is its position field p
  Bytes output;             // what the items expand to
  std::string fault;        // empty when the stream is well-formed
};

// file: a complete compressed file (header included).
StreamTrace TraceStream(const Bytes& file);

// True when some match of the trace has this length and position field.
bool HasMatch(const StreamTrace& trace, unsigned length, unsigned position);
