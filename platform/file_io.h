// The file layer: the few file operations the expander and the payload extraction need, with a
// Win32 side (kernel32, exactly the flags the installer relies on) and a POSIX side for the host
// tools. Handles are signed: 0 means "no file", a negative value is a failed open.
//
//   FileOpenRead   existing file, read-only, not shared       (CreateFileA OPEN_EXISTING)
//   FileCreate     create or truncate, read/write, not shared (CreateFileA CREATE_ALWAYS)
//   FileRead       bytes read, 0 at the end of the file, -1 on failure
//   FileWrite      bytes written, -1 on failure
//   FileFlush, FileClose, FileDelete: results are not reported
//
// All calls go through one replaceable table so tests can count them and make any of them fail.
#pragma once

#include <cstdint>

using FileHandle = std::intptr_t;

struct FileHooks {
  FileHandle (*open_read)(const char* path);
  FileHandle (*create)(const char* path);
  std::int32_t (*read)(FileHandle file, void* buffer, std::uint32_t count);
  std::int32_t (*write)(FileHandle file, const void* data, std::uint32_t count);
  void (*flush)(FileHandle file);
  void (*close)(FileHandle file);
  void (*remove)(const char* path);
};

inline constexpr FileHandle kNoFile = 0;

FileHandle FileOpenRead(const char* path);
FileHandle FileCreate(const char* path);
std::int32_t FileRead(FileHandle file, void* buffer, std::uint32_t count);
std::int32_t FileWrite(FileHandle file, const void* data, std::uint32_t count);
void FileFlush(FileHandle file);
void FileClose(FileHandle file);
void FileDelete(const char* path);

// The hooks in use; SetFileHooks(nullptr) restores the system's. Tests only.
void SetFileHooks(const FileHooks* hooks);
const FileHooks& SystemFileHooks();
