// The compressor: every stream it writes expands to its input with the expander (LZHUnpack in
// memory and ExpandFile on files), is well-formed, and matches the format's worked examples bit
// for bit; the parses compare as promised (Best <= Default <= Greedy); the streaming interface
// and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "expander/expand_file.h"
#include "expander/huffman_model.h"
#include "expander/lzh_format.h"
#include "packer/lzh_pack.h"
#include "packer/match_finder.h"
#include "stream_trace.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

// Test names and failure messages show modes and cases by name.
void PrintTo(PackMode mode, std::ostream* os);

namespace {

constexpr PackMode kModes[] = {PackMode::Greedy, PackMode::Default, PackMode::Best};

std::string ModeName(PackMode mode) {
  switch (mode) {
    case PackMode::Greedy:
      return "Greedy";
    case PackMode::Default:
      return "Default";
    case PackMode::Best:
      return "Best";
  }
  return "?";
}

// --- inputs ------------------------------------------------------------------------------------

// Words, blanks and line breaks, with the repetitions of real text.
Bytes TextLike(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {
      "the",     "window",  "of",    "a",      "compressed", "file",  "holds", "bytes",
      "and",     "match",   "model", "adapts", "after",      "every", "code",  "installer",
      "expands", "payload", "into",  "folder", "Windows",    "temp",  "LZH",   "position"};
  std::mt19937 random(seed);
  Bytes text;
  while (text.size() < size) {
    const char* word = kWords[random() % std::size(kWords)];
    text.insert(text.end(), word, word + std::strlen(word));
    text.push_back(random() % 11 == 0 ? '\n' : ' ');
  }
  text.resize(size);
  return text;
}

// A bit of everything an encoder meets: text, noise, runs of zeros and of spaces, short periodic
// patterns and copies of earlier stretches from near and from exactly one window back.
Bytes Mixed(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes data;
  while (data.size() < size) {
    std::size_t piece = 1 + random() % 3000;
    switch (random() % 6) {
      case 0: {
        Bytes text = TextLike(piece, static_cast<std::uint32_t>(random()));
        data.insert(data.end(), text.begin(), text.end());
        break;
      }
      case 1:
        for (std::size_t i = 0; i < piece; ++i) data.push_back(static_cast<std::uint8_t>(random()));
        break;
      case 2:
        data.insert(data.end(), piece, random() % 2 ? 0x00 : 0x20);
        break;
      case 3:
        for (std::size_t i = 0, period = 1 + random() % 7; i < piece; ++i) {
          data.push_back(static_cast<std::uint8_t>(0x41 + i % period));
        }
        break;
      default: {
        std::size_t distance = random() % 2 ? WindowSize : 1 + random() % WindowSize;
        if (distance > data.size()) break;
        for (std::size_t i = 0; i < piece; ++i) data.push_back(data[data.size() - distance]);
        break;
      }
    }
  }
  data.resize(size);
  return data;
}

Bytes AllByteValues() {
  Bytes data;
  for (unsigned round = 0; round < 8; ++round) {
    for (unsigned v = 0; v < 256; ++v)
      data.push_back(static_cast<std::uint8_t>(v * (2 * round + 1)));
  }
  return data;
}

// The test program's own image: a real executable on every platform (ELF on the host, PE under
// Wine), cut to `limit` bytes to keep the slow builds quick.
Bytes OwnImage(std::size_t limit) {
#ifdef _WIN32
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  Bytes image = length > 0 && length < MAX_PATH ? ReadBytes(path) : Bytes{};
#else
  Bytes image = ReadBytes("/proc/self/exe");
#endif
  if (image.size() > limit) image.resize(limit);
  return image;
}

// --- checks ------------------------------------------------------------------------------------

std::string FirstDifference(const Bytes& got, const Bytes& want) {
  if (got == want) return "";
  auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at " + std::to_string(diff.first - got.begin());
}

// file must be a well-formed compressed file of data that LZHUnpack expands to data.
void ExpectRoundTrip(const Bytes& data, const Bytes& file) {
  ASSERT_GE(file.size(), HeaderSize);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), FromText("!HZL"));
  std::uint32_t size = 0;
  for (unsigned i = 0; i < 4; ++i) size |= std::uint32_t{file[4 + i]} << (8 * i);
  EXPECT_EQ(size, data.size());

  StreamTrace trace = TraceStream(file);
  EXPECT_EQ(trace.fault, "");
  EXPECT_EQ(FirstDifference(trace.output, data), "");
  Bytes stream(file.begin() + HeaderSize, file.end());
  EXPECT_EQ(FirstDifference(Unpack(static_cast<std::int32_t>(data.size()), stream), data), "");
}

// --- round trips -------------------------------------------------------------------------------

class SizeRoundTrip : public testing::TestWithParam<std::tuple<PackMode, std::size_t>> {};

TEST_P(SizeRoundTrip, ExpandsToTheInput) {
  auto [mode, size] = GetParam();
  Bytes data = Mixed(size, static_cast<std::uint32_t>(size));
  ExpectRoundTrip(data, PackBuffer(data, mode));
}

INSTANTIATE_TEST_SUITE_P(PackSizes, SizeRoundTrip,
                         testing::Combine(testing::ValuesIn(kModes),
                                          testing::Values(0, 1, 2, 3, 59, 60, 61, 4035, 4096, 32768,
                                                          32769, 3 << 20)),
                         [](const auto& info) {
                           return ModeName(std::get<0>(info.param)) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

struct Content {
  const char* label;
  Bytes (*make)();
};
void PrintTo(const Content& content, std::ostream* os) {
  *os << content.label;
}

const Content kContents[] = {
    {"Zeros", [] { return Bytes(100000, 0x00); }},
    {"Spaces", [] { return Bytes(10000, 0x20); }},  // all of it can come from the initial window
    {"AllByteValues", AllByteValues},
    {"Random", [] { return RandomBytes(65536, 7); }},
    {"Text", [] { return TextLike(200000, 3); }},
    {"OwnImage", [] { return OwnImage(1 << 19); }},
};

class ContentRoundTrip : public testing::TestWithParam<std::tuple<PackMode, Content>> {};

TEST_P(ContentRoundTrip, ExpandsToTheInput) {
  auto [mode, content] = GetParam();
  Bytes data = content.make();
  ASSERT_FALSE(data.empty());
  ExpectRoundTrip(data, PackBuffer(data, mode));
}

INSTANTIATE_TEST_SUITE_P(PackContents, ContentRoundTrip,
                         testing::Combine(testing::ValuesIn(kModes), testing::ValuesIn(kContents)),
                         [](const auto& info) {
                           return ModeName(std::get<0>(info.param)) + "_" +
                                  std::get<1>(info.param).label;
                         });

// The model is rebuilt at the 32,455th symbol and then every 16,227 to 16,384 symbols; an
// encoder whose model drifted from the decoder's would garble everything after the first.
TEST(PackModel, StaysInStepThroughSeveralRebuilds) {
  Bytes data = RandomBytes(100000, 11);
  Bytes text = TextLike(200000, 12);
  data.insert(data.end(), text.begin(), text.end());
  for (PackMode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    Bytes file = PackBuffer(data, mode);
    ExpectRoundTrip(data, file);
    EXPECT_GT(TraceStream(file).items.size(), 32455u + 3 * 16384u);
  }
}

TEST(PackFile, ExpandFileRestoresTheInput) {
  ScratchDir dir;
  ExpandSourceName = dir.File("payload.ex_");
  ExpandTargetName = dir.File("payload.exe");
  const Bytes inputs[] = {Mixed(300000, 5), OwnImage(1 << 18), Bytes{}};
  for (PackMode mode : kModes) {
    for (const Bytes& data : inputs) {
      SCOPED_TRACE(ModeName(mode) + ", " + std::to_string(data.size()) + " bytes");
      WriteBytes(ExpandSourceName, PackBuffer(data, mode));
      ASSERT_EQ(ExpandFile(), 1);
      EXPECT_EQ(FirstDifference(ReadBytes(ExpandTargetName), data), "");
    }
  }
}

// --- exact streams and chosen items -------------------------------------------------------------

struct ExactCase {
  const char* label;
  std::string input;
  const char* file;  // the whole compressed file, in hex
};
void PrintTo(const ExactCase& example, std::ostream* os) {
  *os << example.label;
}

// The format's worked examples. The last item's bits are padded to a whole byte; the format
// lets a writer drop trailing zero bytes, ours does not.
const ExactCase kExactCases[] = {
    // literals a, b, c (9 bits each), then symbol 259 (length 6) with p = 2.
    {"abcabcabc", "abcabcabc", "21 48 5A 4C 09 00 00 00 F6 FB BD F1 E0 20"},
    // literal x, then a match of 10 at p = 0 that overlaps what it writes.
    {"overlapping run", std::string(11, 'x'), "21 48 5A 4C 0B 00 00 00 04 93 00 00"},
    // one match of 5 at p = 0 from the initial spaces (window position 4035).
    {"initial spaces", std::string(5, ' '), "21 48 5A 4C 05 00 00 00 8E 00 00"},
    // the second literal a costs 8 bits: the model has adapted.
    {"adapting literal", "aa", "21 48 5A 4C 02 00 00 00 F6 E2 80"},
    {"empty", "", "21 48 5A 4C 00 00 00 00"},
};

class ExactStream : public testing::TestWithParam<std::tuple<PackMode, ExactCase>> {};

TEST_P(ExactStream, IsTheWorkedExample) {
  auto [mode, example] = GetParam();
  EXPECT_EQ(PackBuffer(FromText(example.input), mode), FromHex(example.file));
}

INSTANTIATE_TEST_SUITE_P(PackWorkedExamples, ExactStream,
                         testing::Combine(testing::ValuesIn(kModes),
                                          testing::ValuesIn(kExactCases)),
                         [](const auto& info) {
                           std::string name = ModeName(std::get<0>(info.param)) + "_" +
                                              std::get<1>(info.param).label;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

class PackItems : public testing::TestWithParam<PackMode> {};

// A block repeated from exactly one window back: the copy has p = 4095 and starts at the write
// position itself; 60 bytes of it make a match of the longest length.
TEST_P(PackItems, ReachTheWholeWindowAndTheLongestLength) {
  Bytes data = RandomBytes(WindowSize, 21);
  data.insert(data.end(), data.begin(), data.begin() + MaxMatch);
  StreamTrace trace = TraceStream(PackBuffer(data, GetParam()));
  EXPECT_EQ(trace.fault, "");
  EXPECT_TRUE(HasMatch(trace, MaxMatch, WindowSize - 1));
}

// Zeros: nothing before the first byte may be copied (window positions 4036..4095 are unwritten
// at the start, even though our decoder clears them), then runs of p = 0.
TEST_P(PackItems, StartRunsWithALiteral) {
  StreamTrace trace = TraceStream(PackBuffer(Bytes(200, 0x00), GetParam()));
  EXPECT_EQ(trace.fault, "");
  ASSERT_GE(trace.items.size(), 2u);
  EXPECT_EQ(trace.items[0].length, 0u);
  EXPECT_TRUE(HasMatch(trace, MaxMatch, 0));
  for (const Item& item : trace.items) EXPECT_LE(item.length, MaxMatch);
}

// Spaces come straight from the initial window; the last match ends exactly at the size.
TEST_P(PackItems, CopyTheInitialSpaces) {
  StreamTrace trace = TraceStream(PackBuffer(Bytes(100, ' '), GetParam()));
  EXPECT_EQ(trace.fault, "");
  ASSERT_FALSE(trace.items.empty());
  EXPECT_GE(trace.items[0].length, MinMatch);
  EXPECT_EQ(trace.items[0].value, 0u);  // from window position 4035 on
  EXPECT_EQ(trace.output, Bytes(100, ' '));
}

// Near the end no match may run past the size, although a longer one is there to be had.
TEST_P(PackItems, EndExactlyAtTheSize) {
  for (std::size_t size : {3u, 4u, 61u, 62u, 120u, 121u}) {
    SCOPED_TRACE(size);
    StreamTrace trace = TraceStream(PackBuffer(Bytes(size, 'z'), GetParam()));
    EXPECT_EQ(trace.fault, "");
    EXPECT_EQ(trace.output.size(), size);
  }
}

INSTANTIATE_TEST_SUITE_P(PackModes, PackItems, testing::ValuesIn(kModes),
                         [](const auto& info) { return ModeName(info.param); });

// --- the parses compared ------------------------------------------------------------------------

struct CorpusFile {
  std::string label;
  Bytes data;
};

std::vector<CorpusFile> Corpus() {
  std::vector<CorpusFile> corpus = {{"own image", OwnImage(1 << 20)},
                                    {"text", TextLike(300000, 31)},
                                    {"mixed", Mixed(300000, 32)},
                                    {"random", RandomBytes(100000, 33)}};
#ifdef BRANNOCK_PACKER_CORPUS
  for (const char* name : {"libgcc_s_dw2-1.dll", "libgomp-1.dll"}) {
    corpus.push_back({name, ReadBytes(std::string(BRANNOCK_PACKER_CORPUS) + "/" + name)});
  }
#endif
  return corpus;
}

TEST(PackParse, BestIsNeverLargerThanDefaultAndDefaultNeverLargerThanGreedy) {
  for (const CorpusFile& file : Corpus()) {
    SCOPED_TRACE(file.label);
    ASSERT_FALSE(file.data.empty());
    std::size_t greedy = PackBuffer(file.data, PackMode::Greedy).size();
    std::size_t fast = PackBuffer(file.data, PackMode::Default).size();
    Bytes best = PackBuffer(file.data, PackMode::Best);
    EXPECT_LE(fast, greedy);
    EXPECT_LE(best.size(), fast);
    ExpectRoundTrip(file.data, best);
  }
}

TEST(PackParse, HostExecutablesAreInTheCorpus) {
#ifdef BRANNOCK_PACKER_CORPUS
  for (const char* name : {"libgcc_s_dw2-1.dll", "libgomp-1.dll"}) {
    Bytes dll = ReadBytes(std::string(BRANNOCK_PACKER_CORPUS) + "/" + name);
    ASSERT_GT(dll.size(), 2u);
    EXPECT_EQ(dll[0], 'M');
    EXPECT_EQ(dll[1], 'Z');
  }
#else
  GTEST_SKIP() << "the mingw runtime DLLs live on the build host; this build checks PE input "
                  "through its own image";
#endif
}

// --- the streaming interface --------------------------------------------------------------------

// Hands out the data in pieces of the sizes given, in turn.
class PieceInput : public PackInput {
 public:
  PieceInput(const Bytes& data, std::vector<std::size_t> pieces)
      : data_(data), pieces_(std::move(pieces)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    ++reads;
    std::size_t n = std::min({count, pieces_[turn_++ % pieces_.size()], data_.size() - next_});
    std::memcpy(buffer, data_.data() + next_, n);
    next_ += n;
    return n;
  }
  int reads = 0;

 private:
  const Bytes& data_;
  std::vector<std::size_t> pieces_;
  std::size_t turn_ = 0;
  std::size_t next_ = 0;
};

// --- the match finder of Best
// ---------------------------------------------------------------------

// The finders' match (the test helpers' Match makes an item).
using Found = struct Match;

// What a finder reports at a position, as the distance of the source it gives for each length
// from MinMatch up to the longest (a match serves every length up to its own).
std::vector<unsigned> SourcesByLength(const Found* found, unsigned count) {
  std::vector<unsigned> sources;
  for (unsigned k = 0; k < count; ++k) {
    while (sources.size() + MinMatch <= found[k].length) sources.push_back(found[k].distance);
  }
  return sources;
}

// The same by trying every distance: stream is the initial spaces followed by the input.
std::vector<unsigned> NearestSources(const Bytes& stream, std::size_t pos) {
  std::vector<unsigned> sources;
  const std::size_t limit = std::min<std::size_t>(MaxMatch, stream.size() - pos);
  for (std::size_t distance = 1; distance <= WindowSize && distance <= pos; ++distance) {
    std::size_t length = 0;
    while (length < limit && stream[pos - distance + length] == stream[pos + length]) ++length;
    while (sources.size() + MinMatch <= length) sources.push_back(static_cast<unsigned>(distance));
  }
  return sources;
}

TEST(PackMatchTree, FindsTheNearestSourceOfEveryLength) {
  const struct {
    const char* label;
    Bytes data;
  } cases[] = {
      {"text", TextLike(12000, 5)},
      {"mixed", Mixed(12000, 6)},  // runs, periods and copies from exactly one window back
      {"zeros", Bytes(6000, 0x00)},
      {"spaces", Bytes(100, 0x20)},  // matches the initial spaces up to the end
      {"all byte values", AllByteValues()},
      {"three bytes", FromText("   ")},
      {"short period", FromText("abcabcabcab")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes stream(InitialWritePos, 0x20);
    stream.insert(stream.end(), c.data.begin(), c.data.end());
    PieceInput input(c.data, {c.data.size()});
    InputWindow window(input, static_cast<std::uint32_t>(c.data.size()));
    MatchTree tree;
    Found found[MaxMatch];
    unsigned wrong = 0;
    for (std::uint32_t pos = StreamStart; pos < window.End(); ++pos) {
      window.Reach(pos, MaxMatch + 1);
      unsigned count = tree.InsertAndFind(window, pos, found);
      if (SourcesByLength(found, count) != NearestSources(stream, pos) && wrong++ < 3) {
        ADD_FAILURE() << "at input byte " << pos - StreamStart;
      }
    }
    EXPECT_EQ(wrong, 0u);
  }
}

// On large inputs, read in uneven pieces so that the window slides over several refills, the
// tree lists exactly what the hash chains find when they try every candidate.
TEST(PackMatchTree, AgreesWithTheExhaustiveChainSearch) {
  for (const Bytes& data : {OwnImage(400000), Mixed(600000, 8)}) {
    PieceInput chain_input(data, {4095, 1, 70000});
    PieceInput tree_input(data, {4095, 1, 70000});
    InputWindow chain_window(chain_input, static_cast<std::uint32_t>(data.size()));
    InputWindow tree_window(tree_input, static_cast<std::uint32_t>(data.size()));
    HashChains chains;
    MatchTree tree;
    Found by_chain[MaxMatch], by_tree[MaxMatch];
    unsigned wrong = 0;
    std::uint64_t matches = 0;
    for (std::uint32_t pos = StreamStart; pos < tree_window.End(); ++pos) {
      chain_window.Reach(pos, MaxMatch + 1);
      tree_window.Reach(pos, MaxMatch + 1);
      chains.InsertUpTo(chain_window, pos);
      unsigned chain_count = chains.AllMatches(chain_window, pos, WindowSize, by_chain);
      unsigned tree_count = tree.InsertAndFind(tree_window, pos, by_tree);
      matches += tree_count;
      if (SourcesByLength(by_chain, chain_count) != SourcesByLength(by_tree, tree_count) &&
          wrong++ < 3) {
        ADD_FAILURE() << "at input byte " << pos - StreamStart << " of " << data.size();
      }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(matches, data.size() / 4);  // the inputs do repeat themselves
  }
}

// The input is read in chunks and the window slides over them; how the input delivers its
// bytes must not change a bit of the output.
TEST(PackStream, OutputDoesNotDependOnHowTheInputArrives) {
  Bytes data = Mixed(700000, 41);
  for (PackMode mode : kModes) {
    Bytes whole = PackBuffer(data, mode);
    for (const std::vector<std::size_t>& pieces :
         {std::vector<std::size_t>{1}, {4095, 1, 70000}, {1 << 20}}) {
      SCOPED_TRACE(ModeName(mode) + ", first piece " + std::to_string(pieces[0]));
      PieceInput input(data, pieces);
      Bytes packed;
      VectorOutput output(packed);
      PackStats stats = LZHPack(static_cast<std::int64_t>(data.size()), input, output, mode);
      EXPECT_EQ(FirstDifference(packed, whole), "");
      EXPECT_EQ(stats.compressed_bytes, whole.size());
    }
  }
}

TEST(PackStream, InputEndingEarlyIsAnError) {
  Bytes data = TextLike(10000, 42);
  for (PackMode mode : kModes) {
    PieceInput input(data, {512});
    Bytes packed;
    VectorOutput output(packed);
    try {
      LZHPack(10001, input, output, mode);
      ADD_FAILURE() << "no error for " << ModeName(mode);
    } catch (const ELzhPackError& error) {
      EXPECT_EQ(error.Message(), "the input ended after 10000 of 10001 bytes");
    }
  }
}

TEST(PackStream, SizesTheFormatCannotHoldAreRefusedBeforeAnythingIsRead) {
  Bytes nothing;
  for (std::int64_t size : {MaxPackSize + 1, std::int64_t{1} << 32, std::int64_t{-1}}) {
    SCOPED_TRACE(size);
    PieceInput input(nothing, {1});
    Bytes packed;
    VectorOutput output(packed);
    EXPECT_THROW(LZHPack(size, input, output), ELzhPackError);
    EXPECT_EQ(input.reads, 0);
    EXPECT_TRUE(packed.empty());
  }
}

// The compressor borrows the module's model tables; whoever had them gets them back, also when
// the run fails.
TEST(PackStream, GivesTheModelTablesBack) {
  std::uint16_t own[1];
  Freq = Parent = Child = own;
  Bytes data = TextLike(5000, 43);
  PackBuffer(data, PackMode::Best);
  EXPECT_TRUE(Freq == own && Parent == own && Child == own);
  PieceInput input(data, {100});
  Bytes packed;
  VectorOutput output(packed);
  EXPECT_THROW(LZHPack(6000, input, output), ELzhPackError);
  EXPECT_TRUE(Freq == own && Parent == own && Child == own);
  Freq = Parent = Child = nullptr;
}

// An output that expands something each time it is called: the decoder takes the module's
// table pointers for itself, and the compressor must carry on with its own model.
class ExpandingOutput : public VectorOutput {
 public:
  using VectorOutput::VectorOutput;
  void Write(const std::uint8_t* data, std::size_t count) override {
    VectorOutput::Write(data, count);
    ++calls;
    EXPECT_EQ(Unpack(9, FromHex("F6 FB BD F1 E0 20")), FromText("abcabcabc"));
  }
  int calls = 0;
};

TEST(PackStream, TheExpanderMayRunBetweenSymbols) {
  Bytes data = Mixed(400000, 44);
  for (PackMode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    PieceInput input(data, {1 << 20});
    Bytes packed;
    ExpandingOutput output(packed);
    LZHPack(static_cast<std::int64_t>(data.size()), input, output, mode);
    EXPECT_GT(output.calls, 2);
    EXPECT_EQ(FirstDifference(packed, PackBuffer(data, mode)), "");
  }
}

}  // namespace

void PrintTo(PackMode mode, std::ostream* os) {
  *os << ModeName(mode);
}
