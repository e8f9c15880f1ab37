// The compressor's view of the data and its match finder.
//
// Stream positions: the decoder's window starts with 4036 spaces (positions 0..4035) and writes
// the first output byte at 4036. We number the bytes of that history and of the input as one
// stream: positions 0..4035 are the spaces, position 4036 + i is input byte i. A match at stream
// position q with distance d (1..4096) copies from q - d, and its position field is p = d - 1.
// Window positions 4036..4095 are unwritten at the start; they would be stream positions -60..-1,
// so "q - d >= 0" is the whole well-formedness rule for sources, and the initial spaces can be
// matched like any earlier bytes.
//
// InputWindow keeps the last 4096 stream bytes before the current position plus a look-ahead,
// reading the input in chunks. HashChains links every position to the previous one with the same
// hash of its next three bytes; it remembers only the last 4096 positions, exactly the window.
// MatchTree keeps the same positions in binary trees, for the parse that wants every match.
#pragma once

#include <cstdint>
#include <vector>

#include "expander/lzh_format.h"
#include "packer/lzh_pack.h"

inline constexpr std::uint32_t StreamStart = InitialWritePos;  // stream position of input byte 0

// A match: `length` bytes from `distance` bytes back (position field distance - 1).
struct Match {
  std::uint16_t length;
  std::uint16_t distance;
};

class InputWindow {
 public:
  // Most look-ahead a caller may ask for in Reach.
  static constexpr std::uint32_t MaxAhead = 1 << 14;
  // Bytes after the reached range that may be read.
  static constexpr std::uint32_t OverreadSlack = 128;

  InputWindow(PackInput& input, std::uint32_t size);

  // Makes the bytes from pos - WindowSize up to pos + ahead (or the end) available. pos must not
  // decrease from one call to the next. Raises ELzhPackError when the input ends early.
  void Reach(std::uint32_t pos, std::uint32_t ahead) {
    if (pos + ahead > filled_ && filled_ < end_) Refill(pos);
  }

  // The byte at stream position pos, which must lie in the reached range. Up to OverreadSlack
  // bytes beyond the range may be read (they are zero or stale, and once the whole input has
  // been reached they no longer change).
  const std::uint8_t* At(std::uint32_t pos) const { return buffer_.data() + (pos - base_); }

  std::uint32_t End() const { return end_; }  // one past the last input byte

 private:
  void Refill(std::uint32_t pos);

  PackInput& input_;
  std::vector<std::uint8_t> buffer_;
  std::uint32_t base_ = 0;    // stream position of buffer_[0]
  std::uint32_t filled_ = 0;  // stream position one past the last byte held
  std::uint32_t end_;         // StreamStart + size
};

// The hash of the three bytes at p, common to both finders.
inline constexpr unsigned MatchHashBits = 15;
inline std::uint32_t MatchHash(const std::uint8_t* p) {
  std::uint32_t key = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
  return (key * 2654435761u) >> (32 - MatchHashBits);
}

class HashChains {
 public:
  HashChains();

  // Links every position below pos that is not linked yet and has three bytes before the end.
  void InsertUpTo(const InputWindow& window, std::uint32_t pos) {
    std::uint32_t last = window.End() >= 2 ? window.End() - 2 : 0;
    if (pos > last) pos = last;
    for (; inserted_ < pos; ++inserted_) {
      std::uint32_t h = MatchHash(window.At(inserted_));
      prev_[inserted_ & (WindowSize - 1)] = head_[h];
      head_[h] = inserted_;
    }
  }

  // The longest match at pos (nearest of the longest), looking at up to max_chain candidates;
  // length 0 when none reaches MinMatch. Positions below pos must have been inserted.
  Match Longest(const InputWindow& window, std::uint32_t pos, unsigned max_chain) const;

  // Every useful match at pos: for each length the nearest source, listed as the matches found
  // while the length grows (increasing length and distance). Returns the count (at most
  // MaxMatch - MinMatch + 1); out needs that many entries.
  unsigned AllMatches(const InputWindow& window, std::uint32_t pos, unsigned max_chain,
                      Match* out) const;

 private:
  static constexpr std::uint32_t None = 0xFFFFFFFF;

  std::vector<std::uint32_t> head_;  // newest position of each hash, or None
  std::vector<std::uint32_t> prev_;  // prev_[q % 4096]: the position before q with q's hash
  std::uint32_t inserted_ = 0;       // positions below this are linked
};

// Every useful match at each position, like HashChains::AllMatches over all candidates, but in
// time that grows with the depth of a tree instead of the number of earlier occurrences.
//
// The positions with the same hash form a binary tree ordered by the MaxMatch bytes that follow
// each position (the string of the position), in which every node is newer than the nodes below
// it: a new position becomes the root, and the walk down from the old root splits the tree into
// the strings smaller and greater than the new one, which become its two subtrees (a string
// equal in all MaxMatch bytes is replaced by the new position, which serves every length as
// well and is nearer). For any length L, the strings that share L bytes with the new one are
// neighbours in that order, with the new one among them. Their newest member lies on the walk:
// every node above it is newer than it, so outside the group, and lies wholly to one side of it;
// the walk therefore turns towards the group at each of them. So the walk meets, for each
// length, the nearest source before any other that reaches it, and recording each node that
// beats the longest match so far gives the same list as the exhaustive search.
// Nodes are kept for 8192 positions, so the oldest source of the window (4096 back) is intact
// while the newest is inserted; a walk stops at the first node older than the window, since
// everything below it is older still. Strings that run past the end of the input end in the
// window's slack bytes, which no longer change once the end has been reached; found lengths are
// cut at the bytes that remain.
class MatchTree {
 public:
  MatchTree();

  // Inserts every position up to pos and returns the matches at pos as AllMatches does. pos must
  // not decrease, and the window must reach pos + MaxMatch (or the end).
  unsigned InsertAndFind(const InputWindow& window, std::uint32_t pos, Match* out);

 private:
  static constexpr std::uint32_t NodeMask = 2 * WindowSize - 1;
  static constexpr std::uint32_t None = 0xFFFFFFFF;

  // Makes pos the root of its tree; records the matches in out unless it is null.
  unsigned Insert(const InputWindow& window, std::uint32_t pos, unsigned limit, Match* out);

  std::vector<std::uint32_t> head_;     // root of each hash's tree, or None
  std::vector<std::uint32_t> smaller_;  // smaller_[q & NodeMask]: subtree of strings below q's
  std::vector<std::uint32_t> greater_;  // greater_[q & NodeMask]: subtree of strings above q's
  std::uint32_t inserted_ = 0;          // positions below this are in the trees
};

// The number of leading bytes a and b share, at most limit (<= MaxMatch). May read up to 64
// bytes from each.
unsigned CommonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit);
