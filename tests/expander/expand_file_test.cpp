// The file expansion driver: every failure with its message and what is left of the target,
// block buffering, and a failure-injection loop over each file call and allocation.
#include <gtest/gtest.h>

#include <functional>

#include "expander/expand_file.h"
#include "expander/lzh_format.h"
#include "test_support.h"

namespace {

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    ExpandSourceName = dir_.File("Brannock.ex_");
    ExpandTargetName = dir_.File("Brannock.exe");
  }

  // Runs DoExpandFile and returns the message, or "" on success. Checks that ExpandFile's
  // result agrees.
  static std::string Failure() {
    try {
      EXPECT_EQ(DoExpandFile(), 1);
      return "";
    } catch (const Exception& error) {
      return error.Message();
    }
  }

  ScratchDir dir_;
};

// A compressed file of `size` bytes of text-like content.
Bytes Compressed(std::size_t size, Bytes* expanded = nullptr) {
  std::vector<Item> items;
  Bytes text = FromText("Brannock_Quernholt installs ");
  for (auto byte : text) items.push_back(Literal(byte));
  for (std::size_t length = text.size(); length < size;) {
    std::size_t left = size - length;
    unsigned n = left < MinMatch ? 1 : left < MaxMatch ? unsigned(left) : 40;
    items.push_back(n == 1 ? Literal('!') : Match(n, 27));
    length += n;
  }
  Bytes out = ExpandItems(items);
  out.resize(size);
  if (expanded) *expanded = out;
  return Container(static_cast<std::int32_t>(size), BuildStream(items));
}

TEST_F(Driver, EveryFailureHasItsMessageAndLeavesTheTargetAsDocumented) {
  const Bytes old_target = FromText("an earlier Brannock.exe");
  enum class After { kUntouched, kAbsent };
  struct Case {
    const char* label;
    std::function<void()> arrange;  // runs with the source and the old target in place
    std::string message;
    After target;
  };
  auto source = [](const Bytes& bytes) { return [bytes] { WriteBytes(ExpandSourceName, bytes); }; };
  FileHandle held = kNoFile;
  const std::string& src = ExpandSourceName;
  const std::string& dst = ExpandTargetName;
  std::vector<Case> cases = {
      {"missing source", [] { FileDelete(ExpandSourceName.c_str()); },
       "Lzrw1 : Inputfile " + src + " not found !", After::kUntouched},
      {"source held open elsewhere", [&] { held = FileOpenRead(ExpandSourceName.c_str()); },
       "Lzrw1 : Inputfile " + src + " not found !", After::kUntouched},
      {"target held open elsewhere", [&] { held = FileOpenRead(ExpandTargetName.c_str()); },
       "Lzrw1 : Outputfile " + dst + " can not be opened !", After::kUntouched},
      {"empty source", source({}), "Lzrw1 : ERROR READING FROM " + src + " !", After::kAbsent},
      {"not a compressed file", source(FromHex("4D5A9000 03000000 04000000")),
       "Lzrw1 : " + src + " : NOT A COMPRESSED FILE !", After::kAbsent},
      {"three bytes of signature", source(FromHex("21485A")),
       "Lzrw1 : ERROR READING FROM " + src + " !", After::kAbsent},
      {"size field cut short", source(FromHex("21485A4C 0900")),
       "Lzrw1 : ERROR READING FROM " + src + " !", After::kAbsent},
  };
  for (auto& test : cases) {
    SCOPED_TRACE(test.label);
    WriteBytes(ExpandSourceName, FromHex("21485A4C 09000000 F6FBBDF1E020"));
    WriteBytes(ExpandTargetName, old_target);
    test.arrange();
    EXPECT_EQ(Failure(), test.message);
    EXPECT_EQ(ExpandFile(), -1);
    if (held > 0) FileClose(held);
    held = kNoFile;
    if (test.target == After::kUntouched) {
      EXPECT_EQ(ReadBytes(ExpandTargetName), old_target);
    } else {
      EXPECT_FALSE(FileExists(ExpandTargetName));
    }
  }
}

TEST_F(Driver, FailuresInsideTheRun) {
  Bytes expanded;
  const Bytes file = Compressed(70000, &expanded);
  const Bytes old_target = FromText("old");
  struct Case {
    const char* label;
    int fail_file_call;   // counting the open, the create, then each read and write
    int fail_allocation;  // counting the two buffers, then the decoder's four tables
    std::string message;
    bool target_untouched;
  };
  const Case kCases[] = {
      {"source buffer", 0, 1, "Lzrw1 : no memory for I/O Buffers !!", true},
      {"target buffer", 0, 2, "Lzrw1 : no memory for I/O Buffers !!", true},
      {"decoder tables", 0, 4, "LZH : Cannot get memory for dictionary tables", false},
      {"signature read", 3, 0, "Lzrw1 : ERROR READING FROM " + ExpandSourceName + " !", false},
      {"size read", 4, 0, "Lzrw1 : ERROR READING FROM " + ExpandSourceName + " !", false},
      {"block read", 5, 0, "Lzrw1/LZH : READ ERROR ON " + ExpandSourceName + " !", false},
      {"block write", 7, 0, "Lzrw1 : ERROR WRITING TO " + ExpandTargetName + " !", false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.label);
    WriteBytes(ExpandSourceName, file);
    WriteBytes(ExpandTargetName, old_target);
    CountingHeap heap;
    CountingFiles files;
    heap.fail_allocation_at = test.fail_allocation;
    files.fail_at = test.fail_file_call;
    EXPECT_EQ(Failure(), test.message);
    EXPECT_EQ(files.open_handles, 0);
    EXPECT_EQ(heap.live, 0);
    if (test.target_untouched) {
      EXPECT_EQ(ReadBytes(ExpandTargetName), old_target);
    } else {
      EXPECT_FALSE(FileExists(ExpandTargetName));
    }
  }
}

TEST_F(Driver, EmptySourceNameFailsAsAMissingFile) {
  ExpandSourceName = "";
  EXPECT_EQ(Failure(), "Lzrw1 : Inputfile  not found !");
}

TEST_F(Driver, TargetIsWrittenInWholeBlocksThenTheRest) {
  const struct {
    std::size_t size;
    std::vector<std::uint32_t> writes;
  } kCases[] = {
      {0, {0}}, {1, {1}}, {32768, {32768}}, {32769, {32768, 1}}, {70000, {32768, 32768, 4464}}};
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.size);
    Bytes expanded;
    WriteBytes(ExpandSourceName, Compressed(test.size, &expanded));
    CountingFiles files;
    EXPECT_EQ(ExpandFile(), 1);
    EXPECT_EQ(files.write_sizes, test.writes);
    EXPECT_EQ(ReadBytes(ExpandTargetName), expanded);
  }
}

TEST_F(Driver, SourceIsReadInWholeBlocks) {
  Bytes file = Compressed(300000);
  file.resize(file.size() + 70000, 0x55);  // trailing bytes are read into the block, never used
  WriteBytes(ExpandSourceName, file);
  CountingFiles files;
  EXPECT_EQ(ExpandFile(), 1);
  // Two header reads, then one read per 32768 bytes of what the decoder consumed.
  EXPECT_LE(files.reads, 2 + static_cast<int>((file.size() - 8) / 32768) + 1);
}

TEST_F(Driver, TrailingBytesAreIgnored) {
  Bytes expanded;
  Bytes file = Compressed(5000, &expanded);
  for (const Bytes& tail : {FromHex("00"), FromHex("FF FF FF"), RandomBytes(40000, 9)}) {
    Bytes padded = file;
    padded.insert(padded.end(), tail.begin(), tail.end());
    WriteBytes(ExpandSourceName, padded);
    EXPECT_EQ(ExpandFile(), 1);
    EXPECT_EQ(ReadBytes(ExpandTargetName), expanded);
  }
}

TEST_F(Driver, TruncatedStreamStillEndsWithAtLeastTheAnnouncedSize) {
  Bytes expanded;
  Bytes file = Compressed(20000, &expanded);
  for (std::size_t keep : {std::size_t{8}, std::size_t{9}, file.size() / 2, file.size() - 1}) {
    SCOPED_TRACE(keep);
    WriteBytes(ExpandSourceName, Bytes(file.begin(), file.begin() + keep));
    EXPECT_EQ(ExpandFile(), 1);
    Bytes got = ReadBytes(ExpandTargetName);
    EXPECT_GE(got.size(), 20000u);
    EXPECT_LE(got.size(), 20000u + MaxMatch - 1);
    if (keep > 40) {
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + 20, expanded.begin()));
    }
  }
}

TEST_F(Driver, LongerExistingTargetIsReplacedWhole) {
  WriteBytes(ExpandTargetName, Bytes(100000, 'X'));
  WriteBytes(ExpandSourceName, FromHex("21485A4C 09000000 F6FBBDF1E020"));
  EXPECT_EQ(ExpandFile(), 1);
  EXPECT_EQ(ReadBytes(ExpandTargetName), FromText("abcabcabc"));
}

TEST_F(Driver, RunAfterAFailedRunStartsClean) {
  WriteBytes(ExpandSourceName, FromHex("21485A4C 09000000"));
  CountingFiles failing;
  failing.fail_at = 4;
  EXPECT_EQ(ExpandFile(), -1);
  failing.fail_at = 0;
  Bytes expanded;
  WriteBytes(ExpandSourceName, Compressed(40000, &expanded));
  EXPECT_EQ(ExpandFile(), 1);
  EXPECT_EQ(ReadBytes(ExpandTargetName), expanded);
  EXPECT_EQ(failing.open_handles, 0);
}

TEST_F(Driver, FailingEachCallAndAllocationInTurn) {
  Bytes expanded;
  WriteBytes(ExpandSourceName, Compressed(70000, &expanded));
  int total_calls, total_allocations;
  {
    CountingHeap heap;
    CountingFiles files;
    ASSERT_EQ(ExpandFile(), 1);
    total_calls = files.calls;
    total_allocations = heap.allocations;
  }
  ASSERT_EQ(total_allocations, 6);  // two buffers, four tables
  for (int i = 1; i <= total_calls + total_allocations; ++i) {
    SCOPED_TRACE(i);
    FileDelete(ExpandTargetName.c_str());
    std::int32_t result;
    {
      CountingHeap heap;
      CountingFiles files;
      if (i <= total_calls) {
        files.fail_at = i;
      } else {
        heap.fail_allocation_at = i - total_calls;
      }
      result = ExpandFile();
      EXPECT_EQ(files.open_handles, 0);
      EXPECT_EQ(heap.live, 0);
    }
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(FileExists(ExpandTargetName));
  }
}

TEST_F(Driver, ReadBlockServesUpToTheCountFromTheBlock) {
  Bytes content = RandomBytes(32768 + 5, 11);
  WriteBytes(ExpandSourceName, content);
  SourceBuffer = new std::uint8_t[IOBufferSize];
  SourceHandle = FileOpenRead(ExpandSourceName.c_str());
  SourcePos = 1;
  SourceCount = 0;
  Bytes got(65535);
  std::uint16_t actual = 0;
  ReadBlock(got.data(), 3, actual);
  EXPECT_EQ(actual, 3);
  ReadBlock(got.data() + 3, 65535, actual);  // only the rest of the block
  EXPECT_EQ(actual, 32765);
  ReadBlock(got.data() + 32768, 100, actual);  // the next block
  EXPECT_EQ(actual, 5);
  ReadBlock(got.data(), 1, actual);
  EXPECT_EQ(actual, 0);
  got.resize(32768 + 5);
  EXPECT_EQ(got, content);
  FileClose(SourceHandle);
  SourceHandle = kNoFile;
  delete[] SourceBuffer;
  SourceBuffer = nullptr;
}

TEST_F(Driver, WriteBlockRefusesMoreThanABlock) {
  TargetBuffer = new std::uint8_t[IOBufferSize];
  TargetPos = 1;
  Bytes data(IOBlockSize + 1, 'x');
  std::uint16_t actual = 0;
  try {
    WriteBlock(data.data(), IOBlockSize + 1, actual);
    ADD_FAILURE() << "no exception";
  } catch (const ELzrw1Exception& error) {
    EXPECT_EQ(error.Message(), "Lzrw1 : ERROR WRITING TO " + ExpandTargetName + " !");
  }
  EXPECT_EQ(TargetPos, 1);
  WriteBlock(data.data(), IOBlockSize, actual);  // a full block still fits
  EXPECT_EQ(actual, IOBlockSize);
  delete[] TargetBuffer;
  TargetBuffer = nullptr;
}

}  // namespace
