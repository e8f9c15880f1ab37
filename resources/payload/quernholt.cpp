// Sample main program of the installed product (payload row 1, Quernholt.ex_). It only says
// what it is; a real payload carries the product here.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr,
              "Quernholt 1.0 (sample)\n\n"
              "This program stands in for the product that the Brannock setup installs.",
              "Quernholt", MB_OK | MB_ICONINFORMATION);
  return 0;
}
