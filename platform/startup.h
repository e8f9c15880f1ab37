// Start-up of a Windows program built on our small framework.
//
// RunApplication is what WinMain calls: it hardens the DLL search, takes the module handle,
// creates the application object with its window, runs the program's main sequence and turns an
// exception that nothing caught into the error box (error_report.h). It returns the process's
// exit code: 0 when the sequence returned, 1 after an uncaught exception (once the box is closed).
#pragma once

#include <windows.h>

// The running executable's module handle (GetModuleHandleA with no name), taken once.
HINSTANCE MainInstance();

// Where the system supports it, DLLs are looked up in the system folder only, never in the
// program's own folder (a downloaded setup program usually sits among other downloads). Looked up
// at run time: kernel32 of Vista and of 7 without its update lacks the call, and then the step is
// skipped. Returns whether the restriction is in force.
bool HardenDllSearch();

int RunApplication(void (*main_sequence)());
