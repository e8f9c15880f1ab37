// Near-optimal parsing.
//
// For a block of positions every item can be priced: a literal or a length symbol costs what the
// adaptive code makes it cost, a position field 9 to 14 bits depending on p / 64. We find the
// cheapest way to cover the block with a shortest-path pass from left to right over every
// literal and every match (each length from 3 up to the longest match, each with the nearest
// source that reaches it: a farther source has a position field at least as long and leaves the
// window and the model exactly as the nearer one does, so it never pays).
//
// The model adapts after every symbol. We look Horizon positions ahead but commit only the items
// that start in the first BlockSize positions, write them (which updates the model) and search
// the next block from where the committed items end, so the prices follow the model.
//
// What a symbol really costs is not only its code now: writing it raises its weight, which
// shortens its code for every later use and lengthens every other code a little, until the
// model's rebuilds halve the effect away. Over the symbols that follow, the net cost of one more
// use of s comes to -log2((w + c) / (W + C)), with w and W the weight of s and of the root now,
// and c and C the uses of s and of all symbols in the stretch that follows (in a stretch whose
// statistics match the model's the correction cancels out; it matters where they shift, as
// between the code, data and tables of an executable). Those future uses are not known until
// the stretch is parsed, so a scout parses ahead: it runs the plain parse (priced with the code
// lengths of its own copy of the model) LookAhead positions in front of the parse that writes,
// and the writing parse prices with the scout's counts over its next LookAhead positions. Both
// parses use the same matches, searched once.
#include "packer/optimal_parse.h"

#include <algorithm>
#include <array>
#include <bit>
#include <deque>
#include <limits>
#include <vector>

namespace {

constexpr unsigned BlockSize = 1024;                    // positions committed per pricing
constexpr unsigned Horizon = BlockSize + 1024;          // positions each search looks at
constexpr unsigned MaxFound = MaxMatch - MinMatch + 1;  // matches per position at most
constexpr std::uint32_t LookAhead = 1 << 16;            // positions the scout's counts cover
static_assert(Horizon >= BlockSize + MaxMatch, "a committed match must end inside the horizon");
static_assert(MaxMatch + 1 <= InputWindow::MaxAhead);

// Prices are in sixteenths of a bit.
constexpr unsigned PriceScale = 16;
constexpr std::uint32_t Unreached = std::numeric_limits<std::uint32_t>::max();

using Prices = std::array<std::uint32_t, SymbolCount>;

// log2(x) in units of 1/4096 bit, for 1 <= x < 2^31; exact integer arithmetic, so the parse,
// and with it the output, is the same on every platform. The fraction comes bit by bit from
// squaring the mantissa (in Q30): a square of 2 or more means the next bit is 1.
constexpr unsigned Log2FractionBits = 12;
std::int32_t Log2Fixed(std::uint32_t x) {
  const int whole = std::bit_width(x) - 1;
  std::uint64_t m = std::uint64_t{x} << (30 - whole);  // 1 <= m / 2^30 < 2
  std::int32_t result = whole;
  for (unsigned i = 0; i < Log2FractionBits; ++i) {
    m = (m * m) >> 30;
    result <<= 1;
    if (m >= (std::uint64_t{2} << 30)) {
      m >>= 1;
      result |= 1;
    }
  }
  return result;
}

// The matches of every position between the parse that writes and the scout's frontier, with
// the input bytes of those positions (the window keeps only what the scout needs).
class MatchStore {
 public:
  MatchStore() : begin_{0} {}

  // Searches every position below pos that is not searched yet (pos <= the end of the input).
  void SearchUpTo(InputWindow& window, MatchTree& tree, std::uint32_t pos) {
    Match found[MaxFound];
    for (; next_ < pos; ++next_) {
      window.Reach(next_, MaxMatch + 1);
      unsigned count = tree.InsertAndFind(window, next_, found);
      matches_.insert(matches_.end(), found, found + count);
      begin_.push_back(static_cast<std::uint32_t>(matches_.size()));
      bytes_.push_back(*window.At(next_));
    }
  }

  // The matches found at a searched position.
  const Match* Matches(std::uint32_t pos, unsigned& count) const {
    const std::uint32_t i = pos - first_;
    count = begin_[i + 1] - begin_[i];
    return matches_.data() + begin_[i];
  }

  // The input bytes from a searched position on.
  const std::uint8_t* Bytes(std::uint32_t pos) const { return bytes_.data() + (pos - first_); }

  // Positions below pos will not be asked for again. Their entries are dropped once they are
  // the larger part of the store, so each entry is moved at most once on average.
  void Forget(std::uint32_t pos) {
    const std::uint32_t drop = pos - first_;
    if (drop < next_ - pos || drop < BlockSize) return;
    const std::uint32_t base = begin_[drop];
    matches_.erase(matches_.begin(), matches_.begin() + base);
    begin_.erase(begin_.begin(), begin_.begin() + drop);
    for (std::uint32_t& b : begin_) b -= base;
    bytes_.erase(bytes_.begin(), bytes_.begin() + drop);
    first_ = pos;
  }

 private:
  std::vector<Match> matches_;
  std::vector<std::uint32_t> begin_;   // begin_[i]: first match of position first_ + i, + 1 end
  std::vector<std::uint8_t> bytes_;    // bytes_[i]: the input byte at position first_ + i
  std::uint32_t first_ = StreamStart;  // first position held
  std::uint32_t next_ = StreamStart;   // first position not searched yet
};

// The cheapest known way to reach a position of the block: its price and the last item
// (length 1: a literal; otherwise a match of `length` bytes from `distance` back).
struct Step {
  std::uint32_t price;
  std::uint16_t length;
  std::uint16_t distance;
};

// One item of a parse: where it starts and what it is.
struct Item {
  std::uint32_t pos;
  std::uint16_t length;  // 1 for a literal
  std::uint16_t distance;
};

unsigned SymbolOf(const Item& item, std::uint8_t byte) {
  return item.length == 1 ? byte : item.length + LengthSymbolBase;
}

// The shortest-path search over one block: finds the cheapest parse of positions start ..
// start + n under the prices and appends the items that start in the first `commit` positions
// to items (the last of them may reach past commit).
class BlockParser {
 public:
  BlockParser() : steps_(Horizon + 1) { path_.reserve(Horizon); }

  void Parse(const MatchStore& store, std::uint32_t start, unsigned n, unsigned commit,
             const Prices& price, std::vector<Item>& items) {
    const std::uint8_t* data = store.Bytes(start);
    steps_[0] = {0, 0, 0};
    for (unsigned i = 1; i <= n; ++i) steps_[i].price = Unreached;
    for (unsigned i = 0; i < n; ++i) {
      const std::uint32_t here = steps_[i].price;
      const std::uint32_t literal = here + price[data[i]];
      if (literal < steps_[i + 1].price) steps_[i + 1] = {literal, 1, 0};
      unsigned found;
      const Match* match = store.Matches(start + i, found);
      const unsigned room = n - i;  // matches are cut at the horizon
      unsigned length = MinMatch;
      for (unsigned k = 0; k < found && length <= room; ++k) {
        const unsigned top = std::min<unsigned>(match[k].length, room);
        const std::uint32_t with_position =
            here + PriceScale * kPositionFields.length[match[k].distance - 1u];
        for (; length <= top; ++length) {
          std::uint32_t cost = with_position + price[length + LengthSymbolBase];
          if (cost < steps_[i + length].price) {
            steps_[i + length] = {cost, static_cast<std::uint16_t>(length), match[k].distance};
          }
        }
      }
    }
    // Walk back from the end of the horizon, then keep the items that start in the block.
    path_.clear();
    for (unsigned i = n; i > 0; i -= steps_[i].length) path_.push_back(steps_[i]);
    unsigned done = 0;
    for (auto step = path_.rbegin(); step != path_.rend() && done < commit; ++step) {
      items.push_back({start + done, step->length, step->distance});
      done += step->length;
    }
  }

 private:
  std::vector<Step> steps_;
  std::vector<Step> path_;
};

// The plain parse, run ahead of the one that writes: priced with the code lengths of its own
// model, which it updates with its own choices. Keeps the symbols it chose, with their
// positions, until the writing parse has passed them.
class Scout {
 public:
  explicit Scout(std::uint32_t end) : end_(end) {}

  // Parses until every position below target (or the end) is covered.
  void AdvanceTo(std::uint32_t target, InputWindow& window, MatchTree& tree, MatchStore& store) {
    while (pos_ < target && pos_ < end_) {
      const unsigned n = std::min<std::uint32_t>(Horizon, end_ - pos_);
      store.SearchUpTo(window, tree, pos_ + n);
      std::array<std::uint8_t, SymbolCount> bits;
      model_.CodeLengths(bits);
      Prices price;
      for (unsigned s = 0; s < SymbolCount; ++s) price[s] = PriceScale * bits[s];
      block_.clear();
      parser_.Parse(store, pos_, n, pos_ + n == end_ ? n : BlockSize, price, block_);
      for (const Item& item : block_) {
        unsigned symbol = SymbolOf(item, *store.Bytes(item.pos));
        model_.Skip(symbol);
        symbols_.push_back({item.pos, static_cast<std::uint16_t>(symbol)});
        pos_ += item.length;
      }
    }
  }

  // Adds to counts the symbols the scout chose in [from, to) and not counted yet, and takes
  // those before from out of them; returns the number of symbols counted now. from and to must
  // not decrease from one call to the next.
  std::uint32_t Count(std::uint32_t from, std::uint32_t to,
                      std::array<std::uint32_t, SymbolCount>& counts) {
    while (!symbols_.empty() && symbols_.front().pos < from) {
      if (counted_ > 0) {
        --counts[symbols_.front().symbol];
        --counted_;
      }
      symbols_.pop_front();
    }
    while (counted_ < symbols_.size() && symbols_[counted_].pos < to) {
      ++counts[symbols_[counted_].symbol];
      ++counted_;
    }
    return static_cast<std::uint32_t>(counted_);
  }

 private:
  struct Chosen {
    std::uint32_t pos;
    std::uint16_t symbol;
  };

  const std::uint32_t end_;
  std::uint32_t pos_ = StreamStart;  // positions below are parsed
  ModelEncoder model_;
  BlockParser parser_;
  std::vector<Item> block_;
  std::deque<Chosen> symbols_;  // the scout's choices from the writing parse's block on
  std::size_t counted_ = 0;     // the first counted_ of symbols_ are in the counts
};

// The prices of the writing parse: -log2((w + c) / (W + C)) for each symbol, at least half a bit.
void BlendedPrices(const ModelEncoder& model, const std::array<std::uint32_t, SymbolCount>& counts,
                   std::uint32_t total, Prices& price) {
  constexpr unsigned Shift = Log2FractionBits - std::countr_zero(PriceScale);
  const std::int32_t all = Log2Fixed(model.TotalWeight() + total);
  for (unsigned s = 0; s < SymbolCount; ++s) {
    std::int32_t bits = all - Log2Fixed(model.Weight(s) + counts[s]);
    price[s] = std::max<std::uint32_t>(PriceScale / 2, (bits + (1 << (Shift - 1))) >> Shift);
  }
}

}  // namespace

void ParseOptimal(InputWindow& window, ItemWriter& out) {
  const std::uint32_t end = window.End();
  MatchTree tree;
  MatchStore store;
  Scout scout(end);
  BlockParser parser;
  std::vector<Item> block;
  std::array<std::uint32_t, SymbolCount> counts{};
  Prices price;

  for (std::uint32_t start = StreamStart; start < end;) {
    const unsigned n = std::min<std::uint32_t>(Horizon, end - start);
    const std::uint32_t ahead = std::min<std::uint32_t>(end - start, LookAhead);
    scout.AdvanceTo(start + std::max<std::uint32_t>(ahead, n), window, tree, store);
    BlendedPrices(out.Model(), counts, scout.Count(start, start + ahead, counts), price);

    block.clear();
    parser.Parse(store, start, n, start + n == end ? n : BlockSize, price, block);
    for (const Item& item : block) {
      if (item.length == 1) {
        out.Literal(*store.Bytes(item.pos));
      } else {
        out.Copy({item.length, item.distance});
      }
      start += item.length;
    }
    store.Forget(start);
  }
}
