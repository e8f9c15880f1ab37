#include "launcher/paths.h"

#include "platform/res_strings.h"

namespace {

constexpr DWORD kTempPathLength = 255;  // characters passed to GetTempPathA, in 256 bytes

}  // namespace

std::string GetTempDirectory(TempPathQuery query) {
  char buffer[kTempPathLength + 1];
  DWORD length = query(kTempPathLength, buffer);
  if (length != 0 && length <= kTempPathLength) return std::string(buffer, length);

  // The path did not fit (length is then the size it needs, terminator included) or Windows
  // reported nothing: ask again with the room it asks for, or for its own answer on the size.
  DWORD needed = length != 0 ? length : query(0, nullptr);
  if (needed != 0) {
    std::string path(needed, '\0');
    length = query(needed, path.data());
    if (length != 0 && length < needed) {
      path.resize(length);
      return path;
    }
  }
  Raise<EOSError>(LoadResString(STempFolderError));
}

std::string AppendBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

bool IsFolder(std::string path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void EnsureFolder(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.size() < 3 || IsFolder(path)) return;
  std::string parent = path.substr(0, path.find_last_of("\\:") + 1);
  // A path ending in a colon ("C:\x:") is its own parent: there is nothing left to climb, and
  // climbing on would never end.
  if (parent.size() < path.size()) EnsureFolder(parent);
  CreateDirectoryA(path.c_str(), nullptr);
}
