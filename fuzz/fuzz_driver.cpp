// Fuzz target: arbitrary bytes written as a source file and expanded by ExpandFile through the
// host file layer, as lzhexpand and the installer do.
//
// The files live in a scratch folder of this process under $TMPDIR (scripts/fuzz points it at a
// memory file system, where the driver's flush costs nothing), removed at exit. Before each run the
// target holds stale bytes, so a run must replace or remove it. A size field above 1 MiB is
// lowered to 1 MiB in the written file, to keep runs short. Checked for every input:
// - the result is 1 exactly when the file has a header with the signature (everything after it
//   decodes), else -1;
// - after 1 the target holds what the decoder makes of the stream in memory, no stale byte at
//   its end; after -1 there is no target at all;
// - no file handle stays open, every heap block is given back, and the driver holds no buffer;
//   libFuzzer's leak check watches the rest of the memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "expander/expand_file.h"
#include "expander/lzh_format.h"
#include "expander/window_decoder.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::int32_t kMaxSize = 1 << 20;

// The files' folder, made on first use and removed with its files when the process ends.
const ScratchDir& Folder() {
  static const ScratchDir folder;
  return folder;
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

  ExpandSourceName = Folder().File("source.lzh");
  ExpandTargetName = Folder().File("target");
  WriteBytes(ExpandSourceName, file);
  WriteBytes(ExpandTargetName, Bytes(100, 0xEE));  // stale bytes

  std::int32_t result;
  {
    CountingHeap heap;
    CountingFiles files;
    result = ExpandFile();
    FuzzCheck(files.open_handles == 0, "no file handle stays open");
    FuzzCheck(heap.live == 0, "every heap block is given back");
  }
  FuzzCheck(SourceBuffer == nullptr && TargetBuffer == nullptr, "no buffer is held after a run");
  FuzzCheck(SourceHandle == kNoFile && TargetHandle == kNoFile, "no handle is held after a run");

  if (!compressed) {
    FuzzCheck(result == -1, "a file without the header fails");
    FuzzCheck(!FileExists(ExpandTargetName), "a failed run leaves no target");
    return 0;
  }
  FuzzCheck(result == 1, "every stream after a valid header expands");
  FuzzCheck(
      ReadBytes(ExpandTargetName) == Unpack(expanded, Bytes(file.begin() + HeaderSize, file.end())),
      "the target holds exactly the expanded stream");
  return 0;
}
