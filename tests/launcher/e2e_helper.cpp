// Windows-side helper of the end-to-end tests (e2e.sh), run under Wine next to the setup program.
//
//   e2e_helper hold PATH      opens PATH for reading, sharing reads only (as Windows holds a
//                             running program's file), writes PATH.held, and keeps the file open
//                             until PATH.release appears (at most two minutes). Exit 1 when PATH
//                             cannot be opened.
//   e2e_helper boxtext TITLE  waits up to 30 s for a message box titled TITLE and prints its text.
//                             Exit 2 when none appears.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int Hold(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "e2e_helper: cannot open %s (error %lu)\n", path.c_str(), GetLastError());
    return 1;
  }
  HANDLE marker = CreateFileA((path + ".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  for (int i = 0; i < 2400 && !Exists(path + ".release"); ++i) Sleep(50);
  CloseHandle(file);
  DeleteFileA((path + ".held").c_str());
  DeleteFileA((path + ".release").c_str());
  return 0;
}

BOOL CALLBACK FindStaticText(HWND child, LPARAM found) {
  char class_name[16] = {};
  GetClassNameA(child, class_name, sizeof class_name);
  if (lstrcmpiA(class_name, "Static") != 0) return TRUE;
  char text[4096] = {};
  if (GetWindowTextA(child, text, sizeof text) == 0) return TRUE;
  *reinterpret_cast<std::string*>(found) = text;
  return FALSE;
}

int BoxText(const char* title) {
  for (int i = 0; i < 600; ++i, Sleep(50)) {
    HWND box = FindWindowA("#32770", title);
    if (!box) continue;
    std::string text;
    EnumChildWindows(box, FindStaticText, reinterpret_cast<LPARAM>(&text));
    _setmode(_fileno(stdout), _O_BINARY);  // the text as it stands, no CR added before LF
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  std::fprintf(stderr, "e2e_helper: no box titled %s\n", title);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "hold") == 0) return Hold(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "boxtext") == 0) return BoxText(argv[2]);
  std::fprintf(stderr, "usage: e2e_helper hold PATH | boxtext TITLE\n");
  return 2;
}
