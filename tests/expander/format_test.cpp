// The container and the stream format, through the real driver and decoder: the worked
// examples as one labelled table, and the position tables against their defining rule.
#include <gtest/gtest.h>

#include "expander/expand_file.h"
#include "expander/lzh_format.h"
#include "test_support.h"

namespace {

struct WorkedExample {
  const char* label;
  const char* file;      // the whole compressed file, in hex
  std::int32_t result;   // of ExpandFile
  const char* expanded;  // the target's bytes, in hex (result 1 only)
};

const WorkedExample kExamples[] = {
    {"three literals and an overlapping match", "21485A4C 09000000 F6FBBDF1E020", 1,
     "616263616263616263"},
    {"position field wholly beyond the end of the file", "21485A4C 0B000000 0493", 1,
     "7878787878787878787878"},
    {"match copying the initial spaces", "21485A4C 05000000 8E", 1, "2020202020"},
    {"the same literal costs fewer bits the second time", "21485A4C 02000000 F6E280", 1, "6161"},
    {"size zero", "21485A4C 00000000", 1, ""},
    {"last match crosses the size and is completed", "21485A4C 08000000 F6FBBDF1E020", 1,
     "616263616263616263"},
    {"negative size gives an empty output", "21485A4C FFFFFFFF F6FBBDF1E020", 1, ""},
    {"most negative size", "21485A4C 00000080 F6", 1, ""},
    {"signature in the wrong byte order", "4C5A4821 09000000 F6FBBDF1E020", -1, nullptr},
};

TEST(WorkedExamples, ExpandThroughTheDriver) {
  for (const auto& example : kExamples) {
    SCOPED_TRACE(example.label);
    ScratchDir dir;
    ExpandSourceName = dir.File("in.ex_");
    ExpandTargetName = dir.File("out.exe");
    WriteBytes(ExpandSourceName, FromHex(example.file));
    EXPECT_EQ(ExpandFile(), example.result);
    if (example.result == 1) {
      EXPECT_EQ(ReadBytes(ExpandTargetName), FromHex(example.expanded));
    } else {
      EXPECT_FALSE(FileExists(ExpandTargetName));
    }
  }
}

TEST(WorkedExamples, SizeZeroReadsNoStreamByte) {
  for (std::int32_t size : {0, -1, INT32_MIN}) {
    EXPECT_TRUE(Unpack(size, FromHex("F6FBBDF1E020")).empty());
    EXPECT_EQ(g_memory.source_calls, 0);
    EXPECT_EQ(g_memory.sink_calls, 0);
  }
}

TEST(PositionCode, TablesFollowTheCanonicalCode) {
  // Each u's code is the previous one plus one, shifted left by the growth in length; the
  // decoding tables give every eight-bit value that starts with that code to u.
  unsigned code = 0;
  for (unsigned u = 0; u < 64; ++u) {
    unsigned length = PositionCodeLength(u);
    if (u > 0) code = (code + 1) << (length - PositionCodeLength(u - 1));
    EXPECT_EQ(PositionCodeBits(u), code) << "u=" << u;
    for (unsigned rest = 0; rest < (1u << (8 - length)); ++rest) {
      unsigned b = code << (8 - length) | rest;
      ASSERT_EQ(PosCode[b], u) << "b=" << b;
      ASSERT_EQ(PosLen[b], length) << "b=" << b;
    }
  }
  EXPECT_EQ(code, 0xFFu);  // the code fills the eight-bit space exactly
}

}  // namespace
