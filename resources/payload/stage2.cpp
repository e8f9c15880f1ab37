// Sample second stage (expands to Brannock.exe): a Windows program without a window that
// records how it was started. It writes stage2.log into its current folder with two lines,
//
//   cwd=<the current folder>
//   args=<the command line after the program name, blanks trimmed at both ends>
//
// and ends with exit code 0 (1 when the log cannot be written). It stands in for a real
// installer so that a run of BrannockSetup.exe can be checked from outside.
#include <windows.h>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The command line after the program name, which is quoted or runs to the first blank.
const char* SkipProgramName(const char* line) {
  if (*line == '"') {
    ++line;
    while (*line && *line != '"') ++line;
    if (*line) ++line;
  } else {
    while (*line && !IsBlank(*line)) ++line;
  }
  return line;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  DWORD cwd_size = GetCurrentDirectoryA(0, nullptr);
  char* cwd = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, cwd_size + 1));
  if (!cwd) return 1;
  DWORD cwd_length = GetCurrentDirectoryA(cwd_size + 1, cwd);
  if (cwd_length == 0 || cwd_length > cwd_size) return 1;

  const char* args = SkipProgramName(GetCommandLineA());
  while (IsBlank(*args)) ++args;
  DWORD args_length = lstrlenA(args);
  while (args_length > 0 && IsBlank(args[args_length - 1])) --args_length;

  HANDLE log = CreateFileA("stage2.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 1;
  bool ok = WriteAll(log, "cwd=", 4) && WriteAll(log, cwd, cwd_length) &&
            WriteAll(log, "\r\nargs=", 7) && WriteAll(log, args, args_length) &&
            WriteAll(log, "\r\n", 2);
  CloseHandle(log);
  HeapFree(GetProcessHeap(), 0, cwd);
  return ok ? 0 : 1;
}
