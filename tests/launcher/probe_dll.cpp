// An empty DLL placed beside the test program, as a planted DLL would lie beside a setup program.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
