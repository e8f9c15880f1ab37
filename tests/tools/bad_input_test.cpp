// The host tools against bad input: the real lzhexpand and lzhpack executables run as child
// processes over prepared files. Each case must end with its documented exit code and message
// (one line on stderr), leave an existing OUTPUT as the case says, and leave no partial or
// temporary file behind.
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "expander/lzh_format.h"
#include "packer/lzh_pack.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// --- read-only files ---------------------------------------------------------------------------

// The tests run as root, whom permission bits do not stop; the immutable attribute stops root
// too. Sets or clears it; false where the file system or the user cannot.
bool SetImmutable(const std::string& path, bool on) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return done;
}

// Clears the attribute again whatever happens, so that the scratch folder can be removed.
class ImmutableGuard {
 public:
  ~ImmutableGuard() {
    for (const auto& path : paths_) SetImmutable(path, false);
  }
  bool Set(const std::string& path) {
    if (!SetImmutable(path, true)) return false;
    paths_.push_back(path);
    return true;
  }

 private:
  std::vector<std::string> paths_;
};

// --- the table ---------------------------------------------------------------------------------

enum class Tool { Expand, Pack };

enum class In {
  Missing,  // no such file
  Folder,   // a folder
  File,     // a file holding the case's bytes
};

enum class Out {
  Fresh,          // no file of that name yet
  Stale,          // an older file of that name, holding kStale
  MissingFolder,  // in a folder that does not exist
  Folder,         // an (empty) folder of that name
  ReadOnly,       // an older file that no one may change (immutable)
  SameAsInput,    // the input's own path
  LinkToInput,    // a symbolic link to the input
};

enum class After {
  NoOutput,       // no file of OUTPUT's name
  Unchanged,      // OUTPUT, the input or the folder as it was before
  Expanded,       // lzhexpand's output: the expansion of the stream, at least `size` bytes
  PackedOriginal  // a compressed file that expands to the original input
};

const Bytes kStale = FromText("stale content of an earlier run\n");
const Bytes kText = FromText(
    "Brannock setup expands its second stage from the LZH compressed format. The format has no "
    "end marker and no checksum: the header says how many bytes the stream expands to, and the "
    "decoder reads zero bits past the end of the file until it has produced them all. ");

struct Case {
  std::string label;
  Tool tool;
  In in;
  Bytes bytes;  // content of the input file (In::File)
  Out out;
  int exit_code;
  std::string message;  // the whole of stderr but its newline, {in} and {out} standing for the
                        // paths; empty: stderr stays empty
  After after;
  rlim_t file_size = RLIM_INFINITY;
  Bytes expected = {};  // After::Expanded: the bytes the output starts with
};

std::string Fill(std::string text, const std::string& in, const std::string& out) {
  for (const auto& [key, value] : {std::pair{"{in}", in}, std::pair{"{out}", out}}) {
    for (auto at = text.find(key); at != std::string::npos;
         at = text.find(key, at + value.size())) {
      text.replace(at, std::strlen(key), value);
    }
  }
  return text;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The expansion of a compressed file held in memory.
Bytes ExpandBytes(const Bytes& file) {
  if (file.size() < HeaderSize) return {};
  std::int32_t size = static_cast<std::int32_t>(ReadLittleEndian32(file.data() + 4));
  return Unpack(size, Bytes(file.begin() + HeaderSize, file.end()));
}

std::vector<Case> Cases() {
  const Bytes packed = PackBuffer(kText);
  const Bytes truncated(packed.begin(), packed.begin() + packed.size() / 2);
  const Bytes header_prefix = FromHex("21 48 5A 4C 09 00 00");  // signature, 3 bytes of the size
  const std::string not_found = "Lzrw1 : Inputfile {in} not found !";
  const std::string header_read = "Lzrw1 : ERROR READING FROM {in} !";
  const std::string not_compressed = "Lzrw1 : {in} : NOT A COMPRESSED FILE !";
  const std::string cannot_create = "Lzrw1 : Outputfile {out} can not be opened !";
  const std::string same_file = "lzhexpand: {out}: is the input file; give another OUTPUT";

  std::vector<Case> cases = {
      // lzhexpand: failures before OUTPUT is created leave an older OUTPUT as it was.
      {"missing input", Tool::Expand, In::Missing, {}, Out::Stale, 1, not_found, After::Unchanged},
      {"input is a folder",
       Tool::Expand,
       In::Folder,
       {},
       Out::Fresh,
       1,
       not_found,
       After::NoOutput},
      // Failures after OUTPUT was created remove it, an older one included (it was emptied).
      {"empty file", Tool::Expand, In::File, {}, Out::Stale, 1, header_read, After::NoOutput},
      {"wrong signature (byte order swapped)", Tool::Expand, In::File,
       FromHex("4C 5A 48 21 09 00 00 00 F6 FB BD F1 E0 20"), Out::Stale, 1, not_compressed,
       After::NoOutput},
      {"a text file", Tool::Expand, In::File, kText, Out::Fresh, 1, not_compressed,
       After::NoOutput},
      // No end marker, no checksum: the missing bits read as zeros, the announced size is
      // written, and the run succeeds. What the stream held before the cut comes out right.
      {"truncated stream", Tool::Expand, In::File, truncated, Out::Stale, 0, "", After::Expanded,
       RLIM_INFINITY, Bytes(kText.begin(), kText.begin() + 40)},
      // 12 bytes announcing 2 GiB - 1: the driver writes what the size says, about 2 GiB. Here a
      // file size limit of 1 MiB stops it: the write fails, the output is removed.
      {"size 0x7FFFFFFF on a 12-byte file, 1 MiB file size limit", Tool::Expand, In::File,
       FromHex("21 48 5A 4C FF FF FF 7F 12 34 56 78"), Out::Fresh, 1,
       "Lzrw1 : ERROR WRITING TO {out} !", After::NoOutput, 1 << 20},
      {"output in a missing folder", Tool::Expand, In::File, packed, Out::MissingFolder, 1,
       cannot_create, After::NoOutput},
      {"output is a folder", Tool::Expand, In::File, packed, Out::Folder, 1, cannot_create,
       After::Unchanged},
      {"output is read-only", Tool::Expand, In::File, packed, Out::ReadOnly, 1, cannot_create,
       After::Unchanged},
      // Refused before either file is opened: creating OUTPUT would empty INPUT.
      {"output is the input", Tool::Expand, In::File, packed, Out::SameAsInput, 1, same_file,
       After::Unchanged},
      {"output is a link to the input", Tool::Expand, In::File, packed, Out::LinkToInput, 1,
       same_file, After::Unchanged},
      {"wrong usage",
       Tool::Expand,
       In::Missing,
       {},
       Out::Fresh,
       2,
       "usage: lzhexpand INPUT OUTPUT",
       After::NoOutput},

      // lzhpack writes a temporary file beside OUTPUT and renames it over OUTPUT at the end.
      {"lzhpack: missing input",
       Tool::Pack,
       In::Missing,
       {},
       Out::Stale,
       1,
       "lzhpack: {in}: cannot open: No such file or directory",
       After::Unchanged},
      {"lzhpack: input is a folder",
       Tool::Pack,
       In::Folder,
       {},
       Out::Stale,
       1,
       "lzhpack: {in}: is a folder",
       After::Unchanged},
      {"lzhpack: empty file", Tool::Pack, In::File, {}, Out::Stale, 0, "", After::PackedOriginal},
      {"lzhpack: output in a missing folder", Tool::Pack, In::File, kText, Out::MissingFolder, 1,
       "lzhpack: {out}: cannot create: No such file or directory", After::NoOutput},
      {"lzhpack: output is a folder", Tool::Pack, In::File, kText, Out::Folder, 1,
       "lzhpack: {out}: is a folder", After::Unchanged},
      {"lzhpack: output is read-only", Tool::Pack, In::File, kText, Out::ReadOnly, 1,
       "lzhpack: {out}: cannot replace: Operation not permitted", After::Unchanged},
      // The input is read whole before the rename: in-place compression, nothing is lost.
      {"lzhpack: output is the input", Tool::Pack, In::File, kText, Out::SameAsInput, 0, "",
       After::PackedOriginal},
      {"lzhpack: wrong usage",
       Tool::Pack,
       In::Missing,
       {},
       Out::Fresh,
       2,
       "usage: lzhpack [--best] [-v] INPUT OUTPUT",
       After::NoOutput},
  };
  // Files of 1 to 7 bytes: too short for the header's signature or its size field.
  for (std::size_t n = 1; n <= 7; ++n) {
    cases.push_back({std::to_string(n) + "-byte file", Tool::Expand, In::File,
                     Bytes(header_prefix.begin(), header_prefix.begin() + n), Out::Stale, 1,
                     header_read, After::NoOutput});
  }
  return cases;
}

TEST(ToolsBadInput, EachCaseEndsWithItsExitCodeAndOneLineAndLeavesNoPartialFile) {
  std::vector<std::string> not_run;
  for (const Case& test : Cases()) {
    SCOPED_TRACE(test.label);
    ScratchDir folder, logs;
    ImmutableGuard immutable;
    const std::string in = folder.File("input.lzh");
    std::string out = folder.File("output");
    std::set<std::string> before;  // the folder's entries before the run

    if (test.in == In::Folder) fs::create_directory(in);
    if (test.in == In::File) WriteBytes(in, test.bytes);
    switch (test.out) {
      case Out::Fresh:
        break;
      case Out::Stale:
      case Out::ReadOnly:
        WriteBytes(out, kStale);
        break;
      case Out::MissingFolder:
        out = folder.File("missing") + "/output";
        break;
      case Out::Folder:
        fs::create_directory(out);
        break;
      case Out::SameAsInput:
        out = in;
        break;
      case Out::LinkToInput:
        fs::create_symlink(in, out);
        break;
    }
    if (test.out == Out::ReadOnly && !immutable.Set(out)) {
      not_run.push_back(test.label);
      continue;
    }
    before = Entries(folder.Path());

    const std::string program = test.tool == Tool::Expand ? LZHEXPAND_PATH : LZHPACK_PATH;
    std::vector<std::string> argv{program, in, out};
    if (test.exit_code == 2) argv = {program, in};
    ChildOutcome outcome = FinishChild(StartChild(argv, logs, {.file_size = test.file_size}), logs);

    EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.exit_code, test.exit_code);
    EXPECT_EQ(outcome.err, test.message.empty() ? "" : Fill(test.message, in, out) + "\n");
    EXPECT_EQ(outcome.out, "");

    // No partial output and no temporary file: the folder holds what it held, plus OUTPUT
    // where the run produced it, less OUTPUT where the run removed it.
    std::set<std::string> expected = before;
    const std::string out_name = fs::path(out).filename().string();
    if (test.after == After::NoOutput) expected.erase(out_name);
    if (test.after == After::Expanded || test.after == After::PackedOriginal) {
      expected.insert(out_name);
    }
    EXPECT_EQ(Entries(folder.Path()), expected);

    switch (test.after) {
      case After::NoOutput:
        EXPECT_FALSE(fs::exists(fs::symlink_status(out)));
        break;
      case After::Unchanged:
        if (test.out == Out::Stale || test.out == Out::ReadOnly) {
          EXPECT_EQ(ReadBytes(out), kStale);
        }
        if (test.out == Out::Folder) {
          EXPECT_TRUE(fs::is_directory(out) && fs::is_empty(out));
        }
        if (test.in == In::File) {
          EXPECT_EQ(ReadBytes(in), test.bytes);
        }
        break;
      case After::Expanded: {
        Bytes output = ReadBytes(out);
        Bytes from_memory = ExpandBytes(test.bytes);
        EXPECT_EQ(output, from_memory);
        EXPECT_GE(output.size(), kText.size());
        EXPECT_LE(output.size(), kText.size() + MaxMatch - 1);
        EXPECT_TRUE(std::equal(test.expected.begin(), test.expected.end(), output.begin()));
        break;
      }
      case After::PackedOriginal:
        EXPECT_EQ(ExpandBytes(ReadBytes(out)), test.bytes);
        break;
    }
  }
  if (!not_run.empty()) {
    std::string labels;
    for (const auto& label : not_run) labels += " [" + label + "]";
    GTEST_SKIP() << "cannot make a file immutable here (needs root and a file system with the "
                    "attribute), so these cases did not run:"
                 << labels;
  }
}

// An interrupted lzhexpand removes the output it had begun: 12 bytes announcing 2 GiB - 1 keep
// it writing until it is stopped. A file size limit of 1 GiB guards the disk should the handler
// fail.
TEST(ToolsBadInput, InterruptedExpansionLeavesNoOutput) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    ScratchDir folder, logs;
    const std::string in = folder.File("input.lzh"), out = folder.File("output");
    WriteBytes(in, FromHex("21 48 5A 4C FF FF FF 7F 12 34 56 78"));
    pid_t pid = StartChild({LZHEXPAND_PATH, in, out}, logs, {.file_size = rlim_t{1} << 30});
    // Stop it once it has written its first block.
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code error;
    while ((fs::file_size(out, error) == 0 || error) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fs::file_size(out, error) == 0 || error) {
      kill(pid, SIGKILL);
      FinishChild(pid, logs);
      FAIL() << "no output appeared";
    }
    kill(pid, signal_number);
    ChildOutcome outcome = FinishChild(pid, logs);
    EXPECT_EQ(outcome.signal, signal_number);
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(ReadBytes(in).size(), 12u);
  }
}

}  // namespace
