#include "packer/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace {

// Bytes read in one piece from the input; the buffer holds this much beyond the history.
constexpr std::uint32_t ChunkSize = 1 << 18;
static_assert(ChunkSize >= 4 * InputWindow::MaxAhead, "a refill must gain a useful amount");

// Slack after the buffer for the 8-byte compares of CommonLength.
constexpr std::size_t OverreadSlack = InputWindow::OverreadSlack;
static_assert(OverreadSlack >= MaxMatch + 8 + MinMatch, "MatchTree compares whole strings");

}  // namespace

unsigned CommonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
  unsigned n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (n < limit) {
      std::uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) {
        n += static_cast<unsigned>(std::countr_zero(x ^ y)) / 8;
        break;
      }
      n += 8;
    }
    return std::min(n, limit);
  } else {
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }
}

InputWindow::InputWindow(PackInput& input, std::uint32_t size)
    : input_(input), end_(StreamStart + size) {
  std::size_t capacity = std::min<std::size_t>(WindowSize + ChunkSize, end_);
  buffer_.assign(capacity + OverreadSlack, 0);
  std::memset(buffer_.data(), ' ', StreamStart);
  filled_ = StreamStart;
}

void InputWindow::Refill(std::uint32_t pos) {
  // Keep the window behind pos and everything not yet consumed; drop the rest.
  std::uint32_t keep = pos > WindowSize ? pos - WindowSize : 0;
  if (keep > base_) {
    std::memmove(buffer_.data(), buffer_.data() + (keep - base_), filled_ - keep);
    base_ = keep;
  }
  const std::size_t capacity = buffer_.size() - OverreadSlack;
  while (filled_ < end_ && filled_ - base_ < capacity) {
    std::size_t room = std::min<std::size_t>(capacity - (filled_ - base_), end_ - filled_);
    std::size_t got = input_.Read(buffer_.data() + (filled_ - base_), room);
    if (got == 0 || got > room) {
      Raise<ELzhPackError>("the input ended after " + std::to_string(filled_ - StreamStart) +
                           " of " + std::to_string(end_ - StreamStart) + " bytes");
    }
    filled_ += static_cast<std::uint32_t>(got);
  }
}

HashChains::HashChains() : head_(std::size_t{1} << MatchHashBits, None), prev_(WindowSize, None) {}

Match HashChains::Longest(const InputWindow& window, std::uint32_t pos, unsigned max_chain) const {
  Match best{0, 0};
  const unsigned limit = std::min<std::uint32_t>(MaxMatch, window.End() - pos);
  if (limit < MinMatch) return best;
  const std::uint8_t* cur = window.At(pos);
  const std::uint32_t oldest = pos > WindowSize ? pos - WindowSize : 0;
  unsigned best_length = MinMatch - 1;
  for (std::uint32_t cand = head_[MatchHash(cur)]; cand != None && cand >= oldest && max_chain != 0;
       cand = prev_[cand & (WindowSize - 1)], --max_chain) {
    const std::uint8_t* src = window.At(cand);
    if (src[best_length] != cur[best_length]) continue;  // cannot be longer
    unsigned length = CommonLength(src, cur, limit);
    if (length > best_length) {
      best_length = length;
      best = {static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(pos - cand)};
      if (length == limit) break;
    }
  }
  return best;
}

unsigned HashChains::AllMatches(const InputWindow& window, std::uint32_t pos, unsigned max_chain,
                                Match* out) const {
  const unsigned limit = std::min<std::uint32_t>(MaxMatch, window.End() - pos);
  if (limit < MinMatch) return 0;
  const std::uint8_t* cur = window.At(pos);
  const std::uint32_t oldest = pos > WindowSize ? pos - WindowSize : 0;
  unsigned best_length = MinMatch - 1;
  unsigned count = 0;
  for (std::uint32_t cand = head_[MatchHash(cur)]; cand != None && cand >= oldest && max_chain != 0;
       cand = prev_[cand & (WindowSize - 1)], --max_chain) {
    const std::uint8_t* src = window.At(cand);
    if (src[best_length] != cur[best_length]) continue;
    unsigned length = CommonLength(src, cur, limit);
    if (length > best_length) {
      best_length = length;
      out[count++] = {static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(pos - cand)};
      if (length == limit) break;
    }
  }
  return count;
}

MatchTree::MatchTree()
    : head_(std::size_t{1} << MatchHashBits, None),
      smaller_(NodeMask + 1, None),
      greater_(NodeMask + 1, None) {}

unsigned MatchTree::InsertAndFind(const InputWindow& window, std::uint32_t pos, Match* out) {
  // A position with fewer than MinMatch bytes left has no match, and neither has any after it,
  // so such positions stay out of the trees.
  const std::uint32_t last = window.End() >= MinMatch ? window.End() - MinMatch : 0;
  for (; inserted_ < pos && inserted_ <= last; ++inserted_) Insert(window, inserted_, 0, nullptr);
  if (pos > last) return 0;
  inserted_ = pos + 1;
  return Insert(window, pos, std::min<std::uint32_t>(MaxMatch, window.End() - pos), out);
}

unsigned MatchTree::Insert(const InputWindow& window, std::uint32_t pos, unsigned limit,
                           Match* out) {
  const std::uint8_t* cur = window.At(pos);
  std::uint32_t& root = head_[MatchHash(cur)];
  std::uint32_t cand = root;
  root = pos;
  // Where the next node smaller (greater) than pos is to hang, and how many bytes every node
  // still to come on that side shares with pos at least.
  std::uint32_t* smaller = &smaller_[pos & NodeMask];
  std::uint32_t* greater = &greater_[pos & NodeMask];
  unsigned smaller_length = 0, greater_length = 0;
  const std::uint32_t oldest = pos > WindowSize ? pos - WindowSize : 0;
  unsigned best_length = MinMatch - 1;
  unsigned count = 0;
  for (;;) {
    if (cand == None || cand < oldest) {
      *smaller = *greater = None;
      break;
    }
    const std::uint8_t* src = window.At(cand);
    unsigned length = std::min(smaller_length, greater_length);
    length += CommonLength(src + length, cur + length, MaxMatch - length);
    if (out != nullptr && std::min(length, limit) > best_length) {
      best_length = std::min(length, limit);
      out[count++] = {static_cast<std::uint16_t>(best_length),
                      static_cast<std::uint16_t>(pos - cand)};
    }
    if (length == MaxMatch) {  // the same string: pos takes cand's place and its subtrees
      *smaller = smaller_[cand & NodeMask];
      *greater = greater_[cand & NodeMask];
      break;
    }
    if (src[length] < cur[length]) {  // cand and its smaller subtree go below pos
      *smaller = cand;
      smaller = &greater_[cand & NodeMask];
      cand = *smaller;
      smaller_length = length;
    } else {
      *greater = cand;
      greater = &smaller_[cand & NodeMask];
      cand = *greater;
      greater_length = length;
    }
  }
  return count;
}
