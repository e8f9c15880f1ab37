#include "platform/file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

#ifdef _WIN32

HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle OpenRead(const char* path) {
  return reinterpret_cast<FileHandle>(
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle Create(const char* path) {
  return reinterpret_cast<FileHandle>(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::int32_t Read(FileHandle file, void* buffer, std::uint32_t count) {
  DWORD done = 0;
  if (!ReadFile(AsHandle(file), buffer, count, &done, nullptr)) return -1;
  return static_cast<std::int32_t>(done);
}

std::int32_t Write(FileHandle file, const void* data, std::uint32_t count) {
  DWORD done = 0;
  if (!WriteFile(AsHandle(file), data, count, &done, nullptr)) return -1;
  return static_cast<std::int32_t>(done);
}

void Flush(FileHandle file) {
  FlushFileBuffers(AsHandle(file));
}
void Close(FileHandle file) {
  CloseHandle(AsHandle(file));
}
void Remove(const char* path) {
  DeleteFileA(path);
}

#else

// A descriptor never becomes handle 0 ("no file"): descriptor 0 is moved up.
FileHandle FromDescriptor(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// Windows opens these files without sharing; the nearest POSIX equivalent is an exclusive
// advisory lock, which keeps two of our own processes off the same file.
FileHandle OpenLocked(const char* path, int flags) {
  int fd = open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return FromDescriptor(fd);
}

FileHandle OpenRead(const char* path) {
  return OpenLocked(path, O_RDONLY);
}

FileHandle Create(const char* path) {
  // Truncate only once the lock is held, so a file in use elsewhere keeps its content.
  FileHandle file = OpenLocked(path, O_RDWR | O_CREAT);
  if (file >= 0 && ftruncate(static_cast<int>(file), 0) != 0) {
    close(static_cast<int>(file));
    return -1;
  }
  return file;
}

std::int32_t Read(FileHandle file, void* buffer, std::uint32_t count) {
  ssize_t done;
  do {
    done = read(static_cast<int>(file), buffer, count);
  } while (done < 0 && errno == EINTR);
  return done < 0 ? -1 : static_cast<std::int32_t>(done);
}

std::int32_t Write(FileHandle file, const void* data, std::uint32_t count) {
  const char* bytes = static_cast<const char*>(data);
  std::uint32_t total = 0;
  while (total < count) {
    ssize_t done = write(static_cast<int>(file), bytes + total, count - total);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return -1;
    if (done == 0) break;
    total += static_cast<std::uint32_t>(done);
  }
  return static_cast<std::int32_t>(total);
}

void Flush(FileHandle file) {
  fsync(static_cast<int>(file));
}
void Close(FileHandle file) {
  close(static_cast<int>(file));
}
void Remove(const char* path) {
  unlink(path);
}

#endif

constexpr FileHooks kSystemHooks{OpenRead, Create, Read, Write, Flush, Close, Remove};
const FileHooks* g_hooks = &kSystemHooks;

}  // namespace

FileHandle FileOpenRead(const char* path) {
  return g_hooks->open_read(path);
}
FileHandle FileCreate(const char* path) {
  return g_hooks->create(path);
}
std::int32_t FileRead(FileHandle file, void* buffer, std::uint32_t count) {
  return g_hooks->read(file, buffer, count);
}
std::int32_t FileWrite(FileHandle file, const void* data, std::uint32_t count) {
  return g_hooks->write(file, data, count);
}
void FileFlush(FileHandle file) {
  g_hooks->flush(file);
}
void FileClose(FileHandle file) {
  g_hooks->close(file);
}
void FileDelete(const char* path) {
  g_hooks->remove(path);
}

void SetFileHooks(const FileHooks* hooks) {
  g_hooks = hooks ? hooks : &kSystemHooks;
}
const FileHooks& SystemFileHooks() {
  return kSystemHooks;
}
