// The path rules: AppendBackslash, IsFolder, EnsureFolder and GetTempDirectory, on the real file
// system (under Wine).
#include "launcher/paths.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

bool IsPlainFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(AppendBackslash, Table) {
  struct Case {
    const char* label;
    std::string folder;
    std::string expected;
  };
  const Case cases[] = {
      {"empty stays empty", "", ""},
      {"a trailing backslash is kept", "C:\\x\\", "C:\\x\\"},
      {"one is added", "C:\\x", "C:\\x\\"},
      {"a bare drive gets one", "C:", "C:\\"},
      {"doubled separators are not collapsed", "C:\\x\\\\", "C:\\x\\\\"},
      {"only the last byte is looked at", "C:\\x\x83\\", "C:\\x\x83\\"},
      {"a path with blanks", "C:\\Temp Folder", "C:\\Temp Folder\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(AppendBackslash(c.folder), c.expected) << c.label;
}

TEST(IsFolder, FoldersOnly) {
  ScratchDir dir;
  WriteBytes(dir.File("plain"), FromText("x"));
  EXPECT_TRUE(IsFolder(dir.Path()));
  EXPECT_TRUE(IsFolder(dir.Path() + "\\"));
  EXPECT_TRUE(IsFolder("C:\\"));
  EXPECT_FALSE(IsFolder(dir.File("plain")));
  EXPECT_FALSE(IsFolder(dir.File("missing")));
}

TEST(EnsureFolder, CreatesEveryMissingLevelFromTheOutermost) {
  ScratchDir dir;
  // Only the first level exists, with a file in it.
  CreateDirectoryA(dir.File("a").c_str(), nullptr);
  WriteBytes(dir.File("a\\kept.txt"), FromText("kept"));

  EnsureFolder(dir.File("a\\b\\c\\"));

  // Each level can only have been made after its parent: CreateDirectoryA makes one level.
  EXPECT_TRUE(IsFolder(dir.File("a\\b")));
  EXPECT_TRUE(IsFolder(dir.File("a\\b\\c")));
  EXPECT_EQ(ReadBytes(dir.File("a\\kept.txt")), FromText("kept"));
}

TEST(EnsureFolder, LeavesAnExistingFolderAndItsFilesAlone) {
  ScratchDir dir;
  std::string folder = dir.File("existing");
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteBytes(folder + "\\file.bin", FromText("content"));

  EnsureFolder(folder);
  EnsureFolder(folder + "\\");

  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(ReadBytes(folder + "\\file.bin"), FromText("content"));
}

TEST(EnsureFolder, APlainFileInTheWayIsNeitherReplacedNorReported) {
  ScratchDir dir;
  std::string file = dir.File("plain");
  WriteBytes(file, FromText("a file, not a folder"));

  EXPECT_NO_THROW(EnsureFolder(file));
  EXPECT_NO_THROW(EnsureFolder(file + "\\below\\deeper"));

  EXPECT_TRUE(IsPlainFile(file));
  EXPECT_EQ(ReadBytes(file), FromText("a file, not a folder"));
  EXPECT_FALSE(IsFolder(file + "\\below"));
}

// The climb stops at a drive: for a drive that does not exist, any other rule would climb for
// ever (the parent of "Q:" is "Q:"). A path ending in a colon is its own parent as well.
TEST(EnsureFolder, StopsAtADriveAndAtAPathThatIsItsOwnParent) {
  DWORD drives = GetLogicalDrives();
  char letter = 'Q';
  while (letter > 'D' && (drives & (1u << (letter - 'A')))) --letter;
  std::string drive = std::string(1, letter) + ":";
  ASSERT_FALSE(IsFolder(drive + "\\")) << drive << " exists";

  EnsureFolder("C:\\");
  EnsureFolder("C:");
  EnsureFolder(drive + "\\");
  EnsureFolder(drive + "\\new\\folder");
  EXPECT_FALSE(IsFolder(drive + "\\new"));

  ScratchDir dir;
  EnsureFolder(dir.File("odd:"));  // returns: whether such a name can be made is the system's
}

TEST(GetTempDirectory, IsWhatWindowsReportsWithItsBackslash) {
  char expected[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(MAX_PATH, expected);
  ASSERT_GT(length, 0u);
  std::string temp = GetTempDirectory();
  EXPECT_EQ(temp, std::string(expected, length));
  EXPECT_EQ(temp.back(), '\\');
}

// Runs GetTempDirectory with TMP set to folder.
std::string TempDirectoryWithTmp(const std::string& folder) {
  char saved[4096] = {};
  DWORD saved_length = GetEnvironmentVariableA("TMP", saved, sizeof saved);
  SetEnvironmentVariableA("TMP", folder.c_str());
  std::string temp;
  try {
    temp = GetTempDirectory();
  } catch (...) {
    SetEnvironmentVariableA("TMP", saved_length ? saved : nullptr);
    throw;
  }
  SetEnvironmentVariableA("TMP", saved_length ? saved : nullptr);
  return temp;
}

// A temp folder of more than 255 characters does not fit the first buffer: it is asked for
// again with the size Windows reports, and comes back whole.
TEST(GetTempDirectory, ATempFolderLongerThanTheFirstBufferComesBackWhole) {
  std::string folder = "C:\\users\\Public\\" + std::string(200, 'a') + "\\" + std::string(40, 'b');
  ASSERT_EQ(folder.size(), 257u);
  EXPECT_EQ(TempDirectoryWithTmp(folder), folder + "\\");
}

// Past MAX_PATH Windows reports the size it needs, Wine reports nothing: either way the result
// is the whole folder or EOSError, never a cut or undefined path.
TEST(GetTempDirectory, AVeryLongTempFolderComesBackWholeOrRaises) {
  std::string folder = "C:\\users\\Public\\" + std::string(200, 'a') + "\\" + std::string(200, 'b');
  try {
    EXPECT_EQ(TempDirectoryWithTmp(folder), folder + "\\");
  } catch (const EOSError& error) {
    EXPECT_EQ(error.Message(), "Kann den Temp-Ordner nicht ermitteln");
  }
}

// Replacements for GetTempPathA that reach the paths Windows rarely takes.
std::string g_reported;  // the path the fake query reports
int g_queries = 0;

DWORD WINAPI ReportsNothing(DWORD, LPSTR) {
  ++g_queries;
  return 0;
}

DWORD WINAPI ReportsLikeWindows(DWORD length, LPSTR buffer) {
  ++g_queries;
  if (length <= g_reported.size()) return static_cast<DWORD>(g_reported.size() + 1);
  lstrcpyA(buffer, g_reported.c_str());
  return static_cast<DWORD>(g_reported.size());
}

DWORD WINAPI KeepsGrowing(DWORD length, LPSTR) {
  ++g_queries;
  return length + 300;
}

TEST(GetTempDirectory, AsksAgainWithTheReportedSizeAndRaisesWhenThatFailsToo) {
  g_reported = "C:\\" + std::string(400, 't') + "\\";
  g_queries = 0;
  EXPECT_EQ(GetTempDirectory(ReportsLikeWindows), g_reported);
  EXPECT_EQ(g_queries, 2);

  for (TempPathQuery query : {ReportsNothing, KeepsGrowing}) {
    try {
      GetTempDirectory(query);
      ADD_FAILURE() << "no exception";
    } catch (const EOSError& error) {
      EXPECT_EQ(error.Message(), "Kann den Temp-Ordner nicht ermitteln");
      EXPECT_STREQ(error.ClassName(), "EOSError");
    }
  }
}

}  // namespace
