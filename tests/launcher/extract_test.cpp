// ExtractResourceToFile on the resources embedded in this test program (launcher_tests.rc):
// TEST1 holds fixtures/all_bytes.bin, EMPTY holds nothing. Real resources, real files (under
// Wine); the file layer's counting hooks see and fail the calls of the file stream.
#include "launcher/extract.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/exception.h"
#include "test_support.h"

namespace {

Bytes Fixture() {
  return ReadBytes(BRANNOCK_FIXTURES "\\all_bytes.bin");
}

// A file can be opened without sharing only when no handle to it is left open.
bool IsClosed(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

TEST(ExtractResourceToFile, WritesTheResourceInOneWriteWhateverTheLetterCaseOfItsName) {
  ASSERT_EQ(Fixture().size(), 772u);
  ScratchDir dir;
  for (const char* name : {"Test1", "TEST1", "test1"}) {
    std::string path = dir.File(std::string(name) + ".bin");
    CountingFiles files;
    EXPECT_TRUE(ExtractResourceToFile("FILE", name, path)) << name;
    EXPECT_EQ(ReadBytes(path), Fixture()) << name;
    EXPECT_EQ(files.write_sizes, std::vector<std::uint32_t>{772}) << name;
    EXPECT_EQ(files.open_handles, 0) << name;
  }
  EXPECT_TRUE(ExtractResourceToFile("file", "Test1", dir.File("lower-type.bin")));
}

TEST(ExtractResourceToFile, AMissingResourceRaisesBeforeTheFileIsTouched) {
  ScratchDir dir;
  std::string path = dir.File("existing.txt");
  WriteBytes(path, FromText("earlier content"));
  struct Case {
    const char* type;
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {"FILE", "Nope", "Ressource Nope nicht gefunden"},
      {"FILE", "Test8", "Ressource Test8 nicht gefunden"},
      {"DATA", "Test1", "Ressource Test1 nicht gefunden"},  // right name, wrong type
  };
  for (const Case& c : cases) {
    CountingFiles files;
    try {
      ExtractResourceToFile(c.type, c.name, path);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const EResNotFound& error) {
      EXPECT_EQ(error.Message(), c.message);
      EXPECT_STREQ(error.ClassName(), "EResNotFound");
      EXPECT_NE(error.Address(), nullptr);
    }
    EXPECT_EQ(files.calls, 0) << c.name << ": the file layer was used";
    EXPECT_EQ(ReadBytes(path), FromText("earlier content")) << c.name;
  }
}

TEST(ExtractResourceToFile, AnEmptyResourceGivesAnEmptyFileWithoutAWrite) {
  ScratchDir dir;
  std::string path = dir.File("empty.bin");
  WriteBytes(path, FromText("to be emptied"));
  CountingFiles files;
  EXPECT_TRUE(ExtractResourceToFile("FILE", "Empty", path));
  EXPECT_TRUE(files.write_sizes.empty());
  EXPECT_EQ(files.open_handles, 0);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(ReadBytes(path).empty());
}

TEST(ExtractResourceToFile, ALongerExistingFileIsReplacedWhole) {
  ScratchDir dir;
  std::string path = dir.File("longer.bin");
  WriteBytes(path, RandomBytes(100000, 7));
  EXPECT_TRUE(ExtractResourceToFile("FILE", "Test1", path));
  EXPECT_EQ(ReadBytes(path), Fixture());
}

// Every way the file cannot be created: EFCreateError naming the path as passed, no handle left
// open, no folder made, an existing file untouched.
TEST(ExtractResourceToFile, AFileThatCannotBeCreatedRaisesEFCreateErrorWithThePath) {
  ScratchDir dir;
  CreateDirectoryA(dir.File("folder").c_str(), nullptr);
  std::string held = dir.File("held.txt");
  WriteBytes(held, FromText("held elsewhere"));
  HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  struct Case {
    const char* label;
    std::string path;
  };
  const Case cases[] = {
      {"folder missing", dir.File("no\\such\\file.bin")},
      {"path names a folder", dir.File("folder")},
      {"file open elsewhere without sharing writes", held},
  };
  for (const Case& c : cases) {
    CountingFiles files;
    try {
      ExtractResourceToFile("FILE", "Test1", c.path);
      ADD_FAILURE() << c.label << ": no exception";
    } catch (const EStreamError& error) {
      EXPECT_STREQ(error.ClassName(), "EFCreateError") << c.label;
      EXPECT_NE(dynamic_cast<const EFCreateError*>(&error), nullptr) << c.label;
      EXPECT_EQ(error.Message(), "Kann Datei " + c.path + " nicht erstellen") << c.label;
    }
    EXPECT_EQ(files.open_handles, 0) << c.label;
    EXPECT_TRUE(files.write_sizes.empty()) << c.label;
  }
  CloseHandle(holder);
  EXPECT_FALSE(FileExists(dir.File("no")));
  EXPECT_EQ(ReadBytes(held), FromText("held elsewhere"));
}

TEST(ExtractResourceToFile, AReadOnlyFileRaisesEFCreateErrorAndKeepsItsContent) {
  ScratchDir dir;
  std::string path = dir.File("readonly.txt");
  WriteBytes(path, FromText("read-only content"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine lets the root user write to read-only files; Windows and other users do not.
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this system lets the current user write to read-only files";
  }
  EXPECT_THROW(ExtractResourceToFile("FILE", "Test1", path), EFCreateError);
  EXPECT_EQ(ReadBytes(path), FromText("read-only content"));
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Each call of the file layer fails in turn: creation gives EFCreateError, the write gives
// EWriteError with the file closed and left in place; no handle stays open either way.
TEST(ExtractResourceToFile, EveryFileCallThatFailsRaisesAndLeavesNoHandleOpen) {
  ScratchDir dir;
  std::string path = dir.File("target.bin");
  int failures = 0;
  for (int fail_at = 1;; ++fail_at) {
    DeleteFileA(path.c_str());
    CountingFiles files;
    files.fail_at = fail_at;
    try {
      EXPECT_TRUE(ExtractResourceToFile("FILE", "Test1", path));
      EXPECT_EQ(ReadBytes(path), Fixture());
      break;  // no call left to fail
    } catch (const EFCreateError& error) {
      EXPECT_EQ(fail_at, 1) << "creation is the first call";
      EXPECT_FALSE(FileExists(path));
    } catch (const EWriteError& error) {
      EXPECT_EQ(fail_at, 2) << "the write is the second call";
      EXPECT_EQ(error.Message(), "Stream-Write-Fehler ");
      EXPECT_TRUE(FileExists(path));
      EXPECT_TRUE(IsClosed(path));
    }
    ++failures;
    EXPECT_EQ(files.open_handles, 0) << "call " << fail_at;
  }
  EXPECT_EQ(failures, 2);
}

// A write that stops short (a full disk) is a failure too; the bytes written stay.
FileHandle g_short_file = 0;
std::int32_t ShortWrite(FileHandle file, const void* data, std::uint32_t count) {
  g_short_file = file;
  return SystemFileHooks().write(file, data, count - 1);
}

TEST(ExtractResourceToFile, AShortWriteRaisesEWriteErrorAndKeepsWhatWasWritten) {
  ScratchDir dir;
  std::string path = dir.File("short.bin");
  FileHooks hooks = SystemFileHooks();
  hooks.write = ShortWrite;
  SetFileHooks(&hooks);
  try {
    ExtractResourceToFile("FILE", "Test1", path);
    ADD_FAILURE() << "no exception";
  } catch (const EFilerError& error) {
    EXPECT_STREQ(error.ClassName(), "EWriteError");
    EXPECT_EQ(error.Message(), "Stream-Write-Fehler ");
  }
  SetFileHooks(nullptr);
  Bytes expected = Fixture();
  expected.pop_back();
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_TRUE(IsClosed(path));
}

}  // namespace
