#include "platform/startup.h"

#include <exception>

#include "platform/application.h"
#include "platform/error_report.h"

HINSTANCE MainInstance() {
  static const HINSTANCE instance = GetModuleHandleA(nullptr);
  return instance;
}

bool HardenDllSearch() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (!kernel32) return false;
  auto set_default_dll_directories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  return set_default_dll_directories &&
         set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

int RunApplication(void (*main_sequence)()) {
  HardenDllSearch();
  TApplication application(MainInstance());
  Application = &application;
  int exit_code = 0;
  // The handler for exceptions that nothing caught: the clean-up blocks on their way have run
  // by the time they arrive here; the box is shown while the application window still exists.
  try {
    main_sequence();
  } catch (const Exception& error) {
    ShowException(error);
    exit_code = 1;
  } catch (const std::exception& error) {
    // Not one of ours (the C++ library's, such as bad_alloc): its own text, no known address.
    ShowException("Exception", error.what(), nullptr);
    exit_code = 1;
  } catch (...) {
    ShowException("Exception", "", nullptr);
    exit_code = 1;
  }
  Application = nullptr;
  return exit_code;
}
