// lzhpack, the command: round trips with lzhexpand through files and through "-", the options,
// usage errors (exit 2), failures (exit 1, one line naming the file) and that no partial OUTPUT
// is ever left: not after an error before writing, not after a failed write, not after a signal.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string Text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Runs a program with stdin from a file (or nothing) and collects what it printed.
ChildOutcome RunProgram(std::vector<std::string> argv, const ScratchDir& dir,
                        const std::string& stdin_path = "/dev/null") {
  int in = open(stdin_path.c_str(), O_RDONLY);
  pid_t pid = StartChild(argv, dir, {.stdin_fd = in});
  close(in);
  return FinishChild(pid, dir);
}

ChildOutcome Pack(std::vector<std::string> args, const ScratchDir& dir,
                  const std::string& stdin_path = "/dev/null") {
  args.insert(args.begin(), LZHPACK_PATH);
  return RunProgram(args, dir, stdin_path);
}

// The names in the folder other than the ones given.
std::vector<std::string> OtherFiles(const ScratchDir& dir, std::vector<std::string> known) {
  std::vector<std::string> others;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    std::string name = entry.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
  }
  return others;
}

Bytes SampleData() {
  Bytes data = RandomBytes(20000, 1);
  Bytes text = FromText(std::string(3000, 'a') + "text of a sample, a sample of text\n");
  for (int i = 0; i < 50; ++i) data.insert(data.end(), text.begin(), text.end());
  return data;
}

// --- round trips -------------------------------------------------------------------------------

TEST(Lzhpack, FilesExpandBackWithLzhexpand) {
  ScratchDir dir;
  Bytes data = SampleData();
  WriteBytes(dir.File("in.bin"), data);
  for (const char* option : {"", "--best"}) {
    SCOPED_TRACE(option);
    std::vector<std::string> args = {dir.File("in.bin"), dir.File("out.lzh")};
    if (*option) args.insert(args.begin(), option);
    ChildOutcome packed = Pack(args, dir);
    EXPECT_EQ(packed.exit_code, 0) << packed.err;
    EXPECT_EQ(packed.out + packed.err, "");
    ChildOutcome expanded =
        RunProgram({LZHEXPAND_PATH, dir.File("out.lzh"), dir.File("back.bin")}, dir);
    EXPECT_EQ(expanded.exit_code, 0) << expanded.err;
    EXPECT_TRUE(ReadBytes(dir.File("back.bin")) == data);
    EXPECT_LT(ReadBytes(dir.File("out.lzh")).size(), data.size() / 2);
    EXPECT_EQ(OtherFiles(dir, {"in.bin", "out.lzh", "back.bin"}), std::vector<std::string>{});
  }
  // A new OUTPUT gets the permissions of any newly created file, not those of a private
  // temporary file.
  mode_t mask = umask(0);
  umask(mask);
  struct stat info;
  ASSERT_EQ(stat(dir.File("out.lzh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(Lzhpack, DashReadsStandardInputAndWritesStandardOutput) {
  ScratchDir dir;
  Bytes data = SampleData();
  WriteBytes(dir.File("in.bin"), data);
  ASSERT_EQ(Pack({dir.File("in.bin"), dir.File("file.lzh")}, dir).exit_code, 0);

  ChildOutcome piped = Pack({"-", "-"}, dir, dir.File("in.bin"));
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.out, Text(ReadBytes(dir.File("file.lzh"))));

  ChildOutcome from_stdin = Pack({"-", dir.File("stdin.lzh")}, dir, dir.File("in.bin"));
  EXPECT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
  EXPECT_TRUE(ReadBytes(dir.File("stdin.lzh")) == ReadBytes(dir.File("file.lzh")));

  // An empty standard input is an empty file: the header alone.
  ChildOutcome empty = Pack({"-", "-"}, dir);
  EXPECT_EQ(empty.exit_code, 0);
  EXPECT_EQ(empty.out, Text(FromHex("21 48 5A 4C 00 00 00 00")));
}

// Written to a temporary file first, OUTPUT may be INPUT itself.
TEST(Lzhpack, OutputMayReplaceTheInput) {
  ScratchDir dir;
  Bytes data = SampleData();
  WriteBytes(dir.File("data"), data);
  ASSERT_EQ(Pack({dir.File("data"), dir.File("data")}, dir).exit_code, 0);
  ASSERT_EQ(RunProgram({LZHEXPAND_PATH, dir.File("data"), dir.File("back")}, dir).exit_code, 0);
  EXPECT_TRUE(ReadBytes(dir.File("back")) == data);
}

// --- options -----------------------------------------------------------------------------------

TEST(Lzhpack, VerbosePrintsSizesAndRatio) {
  ScratchDir dir;
  WriteBytes(dir.File("in.bin"), Bytes(10000, 'q'));
  ChildOutcome run = Pack({"-v", dir.File("in.bin"), dir.File("out.lzh")}, dir);
  ASSERT_EQ(run.exit_code, 0);
  std::string size = std::to_string(ReadBytes(dir.File("out.lzh")).size());
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(dir.File("in.bin") + ": 10000 -> " + size + " bytes ("), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("%)"), std::string::npos) << run.err;
}

TEST(Lzhpack, HelpAndVersion) {
  ScratchDir dir;
  ChildOutcome help = Pack({"--help"}, dir);
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: lzhpack [--best] [-v] INPUT OUTPUT\n", 0), 0u) << help.out;
  ChildOutcome version = Pack({"--version"}, dir);
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, std::string("lzhpack ") + BRANNOCK_VERSION + "\n");
}

TEST(Lzhpack, WrongUsageExitsWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"in"}, {"in", "out", "more"}, {"--fast", "in", "out"}, {"-x", "in", "out"}};
  ScratchDir dir;
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size());
    ChildOutcome run = Pack(args, dir);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("usage: lzhpack"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(OtherFiles(dir, {}), std::vector<std::string>{});
}

// --- failures ----------------------------------------------------------------------------------

struct FailureCase {
  const char* label;
  const char* input;   // in the scratch folder
  const char* output;  // in the scratch folder
  const char* names;   // the file the message must name
  const char* reason;  // part of the message
};
void PrintTo(const FailureCase& failure, std::ostream* os) {
  *os << failure.label;
}

// Each leaves an existing OUTPUT as it was and no other file behind. "big" is a sparse file of
// 2 GiB, one byte more than the size field can hold.
const FailureCase kFailures[] = {
    {"missing input", "missing.bin", "out.lzh", "missing.bin", "cannot open"},
    {"input is a folder", "folder", "out.lzh", "folder", "is a folder"},
    {"input too large", "big", "out.lzh", "big", "too large"},
    {"output folder missing", "in.bin", "nowhere/out.lzh", "nowhere/out.lzh", "cannot create"},
    {"output is a folder", "in.bin", "folder", "folder", "is a folder"},
};

class LzhpackFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(LzhpackFailure, OneLineNamingTheFileExitOneOutputUntouched) {
  const FailureCase& c = GetParam();
  ScratchDir dir;
  WriteBytes(dir.File("in.bin"), SampleData());
  WriteBytes(dir.File("out.lzh"), FromText("previous contents"));
  fs::create_directory(dir.File("folder"));
  {
    int fd = open(dir.File("big").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 31), 0);
    close(fd);
  }
  for (const char* option : {"", "--best"}) {
    SCOPED_TRACE(option);
    std::vector<std::string> args = {dir.File(c.input), dir.File(c.output)};
    if (*option) args.insert(args.begin(), option);
    ChildOutcome run = Pack(args, dir);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind("lzhpack: " + dir.File(c.names) + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_EQ(Text(ReadBytes(dir.File("out.lzh"))), "previous contents");
    EXPECT_EQ(OtherFiles(dir, {"in.bin", "out.lzh", "folder", "big"}), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(LzhpackFailures, LzhpackFailure, testing::ValuesIn(kFailures),
                         [](const auto& info) {
                           std::string name = info.param.label;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// A write that fails half-way (the file size limit, with its signal ignored so write() reports
// the error) leaves neither a partial OUTPUT nor the temporary file.
TEST(Lzhpack, FailedWriteLeavesNoPartialOutput) {
  ScratchDir dir;
  WriteBytes(dir.File("in.bin"), RandomBytes(1 << 20, 2));
  WriteBytes(dir.File("out.lzh"), FromText("previous contents"));
  ChildOutcome run = RunProgram({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"",
                                 LZHPACK_PATH, dir.File("in.bin"), dir.File("out.lzh")},
                                dir);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("lzhpack: " + dir.File("out.lzh") + ": cannot write: ", 0), 0u)
      << run.err;
  EXPECT_EQ(Text(ReadBytes(dir.File("out.lzh"))), "previous contents");
  EXPECT_EQ(OtherFiles(dir, {"in.bin", "out.lzh"}), std::vector<std::string>{});
}

// Stopped by a signal while it waits for more input: the temporary file goes with it.
TEST(Lzhpack, InterruptedRunLeavesNoPartialOutput) {
  ScratchDir dir;
  WriteBytes(dir.File("out.lzh"), FromText("previous contents"));
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t pid = StartChild({LZHPACK_PATH, "-", dir.File("out.lzh")}, dir, {.stdin_fd = pipe_fds[0]});
  close(pipe_fds[0]);
  ASSERT_GT(pid, 0);
  Bytes some = RandomBytes(1000, 3);
  ASSERT_EQ(write(pipe_fds[1], some.data(), some.size()), static_cast<ssize_t>(some.size()));
  // Wait until the temporary file exists, so the signal arrives in the middle of the run.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (OtherFiles(dir, {"out.lzh", "stdout.txt", "stderr.txt"}).empty() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(OtherFiles(dir, {"out.lzh", "stdout.txt", "stderr.txt"}).size(), 1u);
  kill(pid, SIGTERM);
  ChildOutcome run = FinishChild(pid, dir);
  close(pipe_fds[1]);
  EXPECT_EQ(run.signal, SIGTERM);
  EXPECT_EQ(Text(ReadBytes(dir.File("out.lzh"))), "previous contents");
  EXPECT_EQ(OtherFiles(dir, {"out.lzh"}), std::vector<std::string>{});
}

}  // namespace
