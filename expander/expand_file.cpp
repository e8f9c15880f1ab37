#include "expander/expand_file.h"

#include <cstring>

#include "expander/lzh_format.h"
#include "expander/window_decoder.h"
#include "platform/heap.h"

std::string ExpandSourceName;
std::string ExpandTargetName;

FileHandle SourceHandle = kNoFile;
FileHandle TargetHandle = kNoFile;
std::uint8_t* SourceBuffer = nullptr;
std::uint8_t* TargetBuffer = nullptr;
std::uint16_t SourcePos = 1;
std::int32_t SourceCount = 0;
std::uint16_t TargetPos = 1;

namespace {

[[noreturn]] void RaiseWriteError() {
  Raise<ELzrw1Exception>("Lzrw1 : ERROR WRITING TO " + ExpandTargetName + " !");
}

// The driver's own source and sink for the decoding loop. They do what ReadBlock and WriteBlock
// do for one byte, with the block position held as a pointer in the loop's registers instead of
// in SourcePos and TargetPos (every byte stored to a buffer could otherwise change those, as far
// as the compiler knows, and force a reload). Only at the block's end do they hand over to
// ReadBlock and WriteBlock, with the module position brought up to date first, so every file
// call happens exactly where the plain callbacks would make it.
struct BlockSource {
  const std::uint8_t* next;  // next unread byte of SourceBuffer
  const std::uint8_t* end;   // end of the valid bytes (== next when none are left)

  std::uint8_t Fetch() {
    if (next != end) [[likely]]
      return *next++;
    // Passed and returned by value, so that the object never leaves the loop's registers.
    Refilled refilled = FetchFromNextBlock(next);
    next = refilled.next;
    end = refilled.end;
    return refilled.byte;
  }

  void Load() { *this = Cursor(); }
  void Save() const { SourcePos = static_cast<std::uint16_t>(next - SourceBuffer + 1); }

 private:
  struct Refilled {
    const std::uint8_t* next;
    const std::uint8_t* end;
    std::uint8_t byte;
  };

  // The unread part of the block, from SourcePos and SourceCount.
  static BlockSource Cursor() {
    const std::uint8_t* next = SourceBuffer + SourcePos - 1;
    return {next, SourcePos <= SourceCount ? SourceBuffer + SourceCount : next};
  }

  [[gnu::noinline]] static Refilled FetchFromNextBlock(const std::uint8_t* next) {
    SourcePos = static_cast<std::uint16_t>(next - SourceBuffer + 1);
    std::uint8_t byte = 0;
    std::uint16_t actual = 0;
    ReadBlock(&byte, 1, actual);
    BlockSource cursor = Cursor();
    return {cursor.next, cursor.end, actual == 1 ? byte : std::uint8_t{0}};
  }
};

struct BlockSink {
  std::uint8_t* next;  // next free byte of TargetBuffer
  std::uint8_t* end;   // TargetBuffer + IOBlockSize

  void Put(std::uint8_t byte) {
    if (next != end) [[likely]] {
      *next++ = byte;
      return;
    }
    next = PutIntoNextBlock(next, byte);
  }

  void Load() {
    next = TargetBuffer + TargetPos - 1;
    end = TargetBuffer + IOBlockSize;
  }
  // Room for n bytes in the current block, to be written directly and handed over with Commit;
  // nullptr when they do not all fit (Put then writes the block at the right byte).
  std::uint8_t* Reserve(unsigned n) const {
    return static_cast<unsigned>(end - next) >= n ? next : nullptr;
  }
  void Commit(std::uint8_t* written_to) { next = written_to; }
  void Save() const { TargetPos = static_cast<std::uint16_t>(next - TargetBuffer + 1); }

 private:
  // Writes the full block and starts the next one with byte; returns the new position.
  [[gnu::noinline]] static std::uint8_t* PutIntoNextBlock(std::uint8_t* next, std::uint8_t byte) {
    TargetPos = static_cast<std::uint16_t>(next - TargetBuffer + 1);
    std::uint16_t actual = 0;
    WriteBlock(&byte, 1, actual);
    return TargetBuffer + TargetPos - 1;
  }
};

// One 32-bit header field, read straight from the source file.
std::uint32_t ReadHeaderField() {
  std::uint8_t bytes[4] = {};
  CheckReadCount(FileRead(SourceHandle, bytes, 4), 4);
  return ReadLittleEndian32(bytes);
}

void CloseFile(FileHandle& file) {
  if (file > 0) {
    FileFlush(file);
    FileClose(file);
  }
  file = kNoFile;
}

}  // namespace

void CheckReadCount(std::int32_t got, std::int32_t wanted) {
  if (got != wanted) {
    Raise<ELzrw1Exception>("Lzrw1 : ERROR READING FROM " + ExpandSourceName + " !");
  }
}

void CheckWriteCount(std::int32_t got, std::int32_t wanted) {
  if (got != wanted) RaiseWriteError();
}

void ReadBlock(std::uint8_t* dest, std::uint16_t count, std::uint16_t& actual) {
  if (SourcePos > SourceCount) {
    SourceCount = FileRead(SourceHandle, SourceBuffer, IOBlockSize);
    if (SourceCount < 0) {
      Raise<ELzrw1Exception>("Lzrw1/LZH : READ ERROR ON " + ExpandSourceName + " !");
    }
    if (SourceCount == 0) {
      actual = 0;
      return;
    }
    SourcePos = 1;
  }
  if (count == 1) {  // the decoder's case
    *dest = SourceBuffer[SourcePos - 1];
    ++SourcePos;
    actual = 1;
    return;
  }
  std::int32_t available = SourceCount - SourcePos + 1;
  std::uint16_t served = count < available ? count : static_cast<std::uint16_t>(available);
  std::memcpy(dest, SourceBuffer + SourcePos - 1, served);
  SourcePos = static_cast<std::uint16_t>(SourcePos + served);
  actual = served;
}

void WriteBlock(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual) {
  if (count == 0) {
    CheckWriteCount(FileWrite(TargetHandle, TargetBuffer, TargetPos - 1u), TargetPos - 1);
    return;
  }
  if (count > IOBlockSize) RaiseWriteError();  // would overrun the buffer
  if (TargetPos - 1 + count > IOBlockSize) {
    CheckWriteCount(FileWrite(TargetHandle, TargetBuffer, TargetPos - 1u), TargetPos - 1);
    TargetPos = 1;
  }
  if (count == 1) {
    TargetBuffer[TargetPos - 1] = *data;
  } else {
    std::memcpy(TargetBuffer + TargetPos - 1, data, count);
  }
  TargetPos = static_cast<std::uint16_t>(TargetPos + count);
  actual = count;
}

void ExpandStream() {
  std::int32_t size = static_cast<std::int32_t>(ReadHeaderField());
  SourcePos = 1;
  SourceCount = 0;
  TargetPos = 1;
  BlockSource source;
  BlockSink sink;
  source.Load();
  sink.Load();
  UnpackWith(size, source, sink);
  source.Save();
  sink.Save();
  std::uint16_t unused = 0;
  WriteBlock(nullptr, 0, unused);
}

std::int32_t DoExpandFile() {
  SourceBuffer = static_cast<std::uint8_t*>(HeapAllocate(IOBufferSize));
  TargetBuffer = static_cast<std::uint8_t*>(HeapAllocate(IOBufferSize));
  if (!SourceBuffer || !TargetBuffer) {
    // Give back the one buffer that was obtained, so a failed run leaks nothing.
    if (SourceBuffer) HeapRelease(SourceBuffer);
    if (TargetBuffer) HeapRelease(TargetBuffer);
    SourceBuffer = TargetBuffer = nullptr;
    Raise<ELzrw1Exception>("Lzrw1 : no memory for I/O Buffers !!");
  }
  SourceHandle = kNoFile;
  TargetHandle = kNoFile;

  // Clean-up on every path once the buffers exist: source, then target, then the buffers.
  auto clean_up = [] {
    CloseFile(SourceHandle);
    CloseFile(TargetHandle);
    HeapRelease(SourceBuffer);
    HeapRelease(TargetBuffer);
    SourceBuffer = TargetBuffer = nullptr;
  };
  try {
    SourceHandle = FileOpenRead(ExpandSourceName.c_str());
    if (SourceHandle < 0) {
      Raise<ELzrw1Exception>("Lzrw1 : Inputfile " + ExpandSourceName + " not found !");
    }
    TargetHandle = FileCreate(ExpandTargetName.c_str());
    if (TargetHandle < 0) {
      Raise<ELzrw1Exception>("Lzrw1 : Outputfile " + ExpandTargetName + " can not be opened !");
    }
    try {
      std::uint32_t signature = ReadHeaderField();
      if (signature != LZHSignature) {
        Raise<ELzrw1Exception>("Lzrw1 : " + ExpandSourceName + " : NOT A COMPRESSED FILE !");
      }
      ExpandStream();
    } catch (...) {
      // A partly written target must not survive: close it unflushed and delete it.
      FileClose(TargetHandle);
      TargetHandle = kNoFile;
      FileDelete(ExpandTargetName.c_str());
      throw;
    }
  } catch (...) {
    clean_up();
    throw;
  }
  clean_up();
  return 1;
}

std::int32_t ExpandFile() {
  try {
    return DoExpandFile();
  } catch (...) {
    return -1;
  }
}
