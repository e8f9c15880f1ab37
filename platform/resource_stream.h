// The two streams of payload extraction: a read-only stream over a resource of the program and a
// file stream that creates its file.
//
// TResourceStream finds, loads and locks the resource (FindResourceA, LoadResource,
// SizeofResource, LockResource on the given module) and reads it in place: the bytes belong to
// the loaded image and are never copied. A missing resource raises EResNotFound ("Ressource %s
// nicht gefunden", the name as passed) before anything else is touched.
//
// TFileStream creates or truncates its file through the file layer (CreateFileA with
// GENERIC_READ | GENERIC_WRITE, no sharing, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) and closes it
// when destroyed. A failed creation raises EFCreateError ("Kann Datei %s nicht erstellen", the
// path as passed) with no handle left open; a write that fails or falls short raises EWriteError
// ("Stream-Write-Fehler ").
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/file_io.h"

class TFileStream {
 public:
  explicit TFileStream(const std::string& path);  // create mode
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // One write of size bytes; anything but all of them written raises EWriteError.
  void WriteBuffer(const void* data, std::uint32_t size);

 private:
  FileHandle handle_;
};

class TResourceStream {
 public:
  TResourceStream(HINSTANCE instance, const std::string& name, const char* type);
  TResourceStream(const TResourceStream&) = delete;
  TResourceStream& operator=(const TResourceStream&) = delete;

  const void* Memory() const { return memory_; }
  std::uint32_t Size() const { return size_; }

  // Writes the whole resource into the stream: one write of Size() bytes, none when it is 0.
  void SaveToStream(TFileStream& stream) const;

 private:
  const void* memory_ = nullptr;
  std::uint32_t size_ = 0;
};
