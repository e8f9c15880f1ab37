// Fuzz target: arbitrary bytes written as a source file and expanded by ExpandFile through the
// host file layer, as lzhexpand and the installer do.
//
// The files live in a folder of this process under $TMPDIR (scripts/fuzz points it at a memory
// file system, where the driver's flush costs nothing), removed at exit. Before each run the
// target holds stale bytes, so a run must replace or remove it. A size field above 1 MiB is
// lowered to 1 MiB in the written file, to keep runs short. Checked for every input:
// - the result is 1 exactly when the file has a header with the signature (everything after it
//   decodes), else -1;
// - after 1 the target holds what the decoder makes of the stream in memory, no stale byte at
//   its end; after -1 there is no target at all;
// - no file handle stays open, every heap block is given back, and the driver holds no buffer;
//   libFuzzer's leak check watches the rest of the memory.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "expander/expand_file.h"
#include "expander/lzh_format.h"
#include "expander/window_decoder.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::int32_t kMaxSize = 1 << 20;

std::string g_folder;

void RemoveFolder() {
  nftw(
      g_folder.c_str(),
      [](const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }, 8,
      FTW_DEPTH | FTW_PHYS);
}

const std::string& Folder() {
  if (g_folder.empty()) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/fuzz_driver.XXXXXX";
    FuzzCheck(mkdtemp(pattern.data()) != nullptr, "a temp folder for the files can be made");
    g_folder = pattern;
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  FuzzCheck(static_cast<bool>(file.flush()), "the source file can be written");
}

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  int fd = open(path.c_str(), O_RDONLY);
  struct stat info;
  if (fd >= 0 && fstat(fd, &info) == 0) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    ssize_t got = read(fd, bytes.data(), bytes.size());
    FuzzCheck(got == static_cast<ssize_t>(bytes.size()), "the target can be read back");
  }
  if (fd >= 0) close(fd);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(data, data + size);
  const bool compressed = size >= HeaderSize && ReadLittleEndian32(data) == LZHSignature;
  std::int32_t expanded = 0;
  if (size >= HeaderSize) {
    expanded = static_cast<std::int32_t>(ReadLittleEndian32(data + 4));
    if (expanded > kMaxSize) expanded = kMaxSize;
    WriteLittleEndian32(file.data() + 4, static_cast<std::uint32_t>(expanded));
  }

  ExpandSourceName = Folder() + "/source.lzh";
  ExpandTargetName = Folder() + "/target";
  WriteFile(ExpandSourceName, file.data(), file.size());
  static const std::uint8_t kStale[100] = {0xEE};
  WriteFile(ExpandTargetName, kStale, sizeof kStale);

  std::int32_t result;
  {
    CountingHeap heap;
    CountingFiles files;
    result = ExpandFile();
    FuzzCheck(files.Open() == 0, "no file handle stays open");
    FuzzCheck(heap.Live() == 0, "every heap block is given back");
  }
  FuzzCheck(SourceBuffer == nullptr && TargetBuffer == nullptr, "no buffer is held after a run");
  FuzzCheck(SourceHandle == kNoFile && TargetHandle == kNoFile, "no handle is held after a run");

  if (!compressed) {
    FuzzCheck(result == -1, "a file without the header fails");
    FuzzCheck(!Exists(ExpandTargetName), "a failed run leaves no target");
    return 0;
  }
  FuzzCheck(result == 1, "every stream after a valid header expands");
  std::vector<std::uint8_t> target = ReadFile(ExpandTargetName);
  std::vector<std::uint8_t> expected =
      ExpandInMemory(LZHUnpack, expanded, file.data() + HeaderSize, file.size() - HeaderSize);
  FuzzCheck(target == expected, "the target holds exactly the expanded stream");
  return 0;
}
