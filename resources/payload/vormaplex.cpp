// Sample help viewer (payload row 2, Vormaplex.ex_): shows the beginning of a plain-text help
// file, the one named on its command line or else Quernholt.Zeph in its current folder.
#include <windows.h>

namespace {

constexpr DWORD kShown = 2048;  // bytes of the help text shown

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  const char* path = command_line && *command_line ? command_line : "Quernholt.Zeph";
  static char text[kShown + 1];
  DWORD length = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    if (!ReadFile(file, text, kShown, &length, nullptr)) length = 0;
    CloseHandle(file);
  }
  text[length] = '\0';
  if (length == 0) {
    MessageBoxA(nullptr, path, "Vormaplex: no help text found", MB_OK | MB_ICONWARNING);
    return 1;
  }
  MessageBoxA(nullptr, text, "Vormaplex", MB_OK);
  return 0;
}
