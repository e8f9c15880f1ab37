// The compressor's driver and its two simple parses.
//
// Greedy is the reference: at every item it takes the longest match anywhere in the window
// (nearest among equals, whose position field is the shortest), with no look-ahead. Default
// bounds the search to the newest candidates of each hash chain but looks one byte ahead before
// it commits to a match (lazy evaluation): when the match at the next position is longer, it
// writes a literal and takes that one instead. Looking ahead gains more than the bounded search
// loses, so Default comes out smaller than Greedy while searching far less.
#include "packer/lzh_pack.h"

#include <algorithm>
#include <string>

#include "packer/item_writer.h"
#include "packer/optimal_parse.h"

const PositionField kPositionFields = BuildPositionFields();

namespace {

// Candidates Default examines per search; and the match length from which it takes a match
// without looking at the next position. With 48 candidates the lazy parse lost to Greedy on
// small executables (libatomic-1.dll: +0.40%); 256 keeps it ahead on every executable we tried,
// at about 40 MB/s on libstdc++-6.dll (Greedy, which searches everything, runs at about 47).
constexpr unsigned DefaultChain = 256;
constexpr unsigned DefaultLazyLimit = 32;

// Greedy searches every candidate; a chain never holds more than the window's positions.
constexpr unsigned FullChain = WindowSize;

void ParseGreedy(InputWindow& window, HashChains& chains, ItemWriter& out) {
  const std::uint32_t end = window.End();
  for (std::uint32_t pos = StreamStart; pos < end;) {
    window.Reach(pos, MaxMatch);
    chains.InsertUpTo(window, pos);
    Match match = chains.Longest(window, pos, FullChain);
    if (match.length >= MinMatch) {
      out.Copy(match);
      pos += match.length;
    } else {
      out.Literal(*window.At(pos));
      ++pos;
    }
  }
}

void ParseLazy(InputWindow& window, HashChains& chains, ItemWriter& out) {
  const std::uint32_t end = window.End();
  Match match{};
  bool searched = false;  // match already holds the longest match at pos
  for (std::uint32_t pos = StreamStart; pos < end;) {
    window.Reach(pos, MaxMatch + 1);
    if (!searched) {
      chains.InsertUpTo(window, pos);
      match = chains.Longest(window, pos, DefaultChain);
    }
    searched = false;
    if (match.length < MinMatch) {
      out.Literal(*window.At(pos));
      ++pos;
      continue;
    }
    if (match.length < DefaultLazyLimit && pos + 1 < end) {
      chains.InsertUpTo(window, pos + 1);
      Match next = chains.Longest(window, pos + 1, DefaultChain);
      if (next.length > match.length) {
        out.Literal(*window.At(pos));
        ++pos;
        match = next;
        searched = true;
        continue;
      }
    }
    out.Copy(match);
    pos += match.length;
  }
}

}  // namespace

std::size_t SpanInput::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t n = std::min(count, data_.size() - next_);
  std::copy_n(data_.data() + next_, n, buffer);
  next_ += n;
  return n;
}

PackStats LZHPack(std::int64_t size, PackInput& input, PackOutput& output, PackMode mode) {
  if (size < 0 || size > MaxPackSize) {
    Raise<ELzhPackError>("the input has " + std::to_string(size) +
                         " bytes; the format holds at most " + std::to_string(MaxPackSize));
  }
  std::uint8_t header[HeaderSize];
  WriteLittleEndian32(header, LZHSignature);
  WriteLittleEndian32(header + 4, static_cast<std::uint32_t>(size));
  output.Write(header, HeaderSize);

  PackStats stats;
  BitWriter bits(output);
  if (size > 0) {  // an empty file has no stream at all
    InputWindow window(input, static_cast<std::uint32_t>(size));
    HashChains chains;
    ModelEncoder model;
    ItemWriter items(bits, model, stats);
    switch (mode) {
      case PackMode::Greedy:
        ParseGreedy(window, chains, items);
        break;
      case PackMode::Default:
        ParseLazy(window, chains, items);
        break;
      case PackMode::Best:
        ParseOptimal(window, items);
        break;
    }
  }
  bits.Finish();
  stats.compressed_bytes = HeaderSize + bits.BytesWritten();
  return stats;
}

std::vector<std::uint8_t> PackBuffer(std::span<const std::uint8_t> data, PackMode mode) {
  std::vector<std::uint8_t> packed;
  SpanInput input(data);
  VectorOutput output(packed);
  LZHPack(static_cast<std::int64_t>(data.size()), input, output, mode);
  return packed;
}
