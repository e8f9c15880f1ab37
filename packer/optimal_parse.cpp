// Near-optimal parsing.
//
// The cost of an item is known exactly for the model's current state: a literal or a length
// symbol costs the depth of its leaf, a position field 9 to 14 bits depending on p / 64. So for
// a block of positions we can price every literal and every match (each length from 3 up to the
// longest match, each with the nearest source that reaches it) and find the cheapest way to
// cover the block with a shortest-path pass from left to right.
//
// The model adapts after every symbol, so prices drift as the block is written. We therefore
// look Horizon positions ahead but commit only the items that start in the first BlockSize
// positions, write them (which updates the model), read the new code lengths and search the next
// block from where the committed items end. The matches found in the uncommitted tail are kept
// for the next block, so every position is searched once.
#include "packer/optimal_parse.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace {

constexpr unsigned BlockSize = 1024;                    // positions committed per pricing
constexpr unsigned Horizon = BlockSize + 1024;          // positions each search looks at
constexpr unsigned BestChain = WindowSize;              // candidates per position: all of them
constexpr unsigned MaxFound = MaxMatch - MinMatch + 1;  // matches per position at most
static_assert(Horizon >= BlockSize + MaxMatch, "a committed match must end inside the horizon");
static_assert(Horizon + MaxMatch <= InputWindow::MaxAhead);

constexpr std::uint32_t Unreached = std::numeric_limits<std::uint32_t>::max();

// The cheapest known way to reach a position of the block: its price in bits and the last item
// (length 1: a literal; otherwise a match of `length` bytes from `distance` back).
struct Step {
  std::uint32_t price;
  std::uint16_t length;
  std::uint16_t distance;
};

}  // namespace

void ParseOptimal(InputWindow& window, HashChains& chains, ItemWriter& out) {
  const std::uint32_t end = window.End();
  std::vector<Match> found(std::size_t{Horizon} * MaxFound);
  std::vector<std::uint8_t> found_count(Horizon);
  std::vector<Step> steps(Horizon + 1);
  std::vector<Step> path;
  path.reserve(Horizon);
  std::array<std::uint8_t, SymbolCount> bits;

  std::uint32_t start = StreamStart;  // first position of the block
  unsigned searched = 0;              // positions start .. start + searched - 1 have matches
  while (start < end) {
    const unsigned n = std::min<std::uint32_t>(Horizon, end - start);
    window.Reach(start, n + MaxMatch);
    for (; searched < n; ++searched) {
      chains.InsertUpTo(window, start + searched);
      found_count[searched] = static_cast<std::uint8_t>(chains.AllMatches(
          window, start + searched, BestChain, &found[std::size_t{searched} * MaxFound]));
    }

    // Shortest path over positions 0..n of the block.
    out.Model().CodeLengths(bits);
    const std::uint8_t* data = window.At(start);
    steps[0] = {0, 0, 0};
    for (unsigned i = 1; i <= n; ++i) steps[i].price = Unreached;
    for (unsigned i = 0; i < n; ++i) {
      const std::uint32_t here = steps[i].price;
      const std::uint32_t literal = here + bits[data[i]];
      if (literal < steps[i + 1].price) steps[i + 1] = {literal, 1, 0};
      const Match* match = &found[std::size_t{i} * MaxFound];
      const unsigned room = n - i;  // matches are cut at the horizon
      unsigned length = MinMatch;
      for (unsigned k = 0; k < found_count[i] && length <= room; ++k) {
        const unsigned top = std::min<unsigned>(match[k].length, room);
        const std::uint32_t with_position = here + kPositionFields.length[match[k].distance - 1u];
        for (; length <= top; ++length) {
          std::uint32_t price = with_position + bits[length + LengthSymbolBase];
          if (price < steps[i + length].price) {
            steps[i + length] = {price, static_cast<std::uint16_t>(length), match[k].distance};
          }
        }
      }
    }

    // Walk back from the end of the horizon, then write the items that start in the block.
    path.clear();
    for (unsigned i = n; i > 0; i -= steps[i].length) path.push_back(steps[i]);
    const unsigned commit = start + n == end ? n : BlockSize;
    unsigned done = 0;
    for (auto item = path.rbegin(); item != path.rend() && done < commit; ++item) {
      if (item->length == 1) {
        out.Literal(data[done]);
      } else {
        out.Copy({item->length, item->distance});
      }
      done += item->length;
    }

    // Keep the matches of the positions not yet written for the next block.
    std::copy(found.begin() + std::size_t{done} * MaxFound,
              found.begin() + std::size_t{n} * MaxFound, found.begin());
    std::copy(found_count.begin() + done, found_count.begin() + n, found_count.begin());
    searched = n - done;
    start += done;
  }
}
