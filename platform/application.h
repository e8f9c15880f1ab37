// The application object: the program's top-level window and its title.
//
// The window has zero width and height and stands at the centre of the screen; it is created
// visible and shown, so it draws nothing but gives the process a taskbar button labelled with
// the title. Until a title is set, its text is the program file's name (ApplicationTitleFromPath).
// No form is ever created, so Run has no message loop to enter and returns at once. The window is
// destroyed with the object, when the process ends.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class TApplication {
 public:
  explicit TApplication(HINSTANCE instance);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  void Initialize() {}  // nothing to set up: the program has no forms
  void Run() {}         // no form, so no message loop: returns at once

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);  // also the window's text

  HWND Handle() const { return handle_; }

 private:
  HINSTANCE instance_;
  HWND handle_ = nullptr;
  std::string title_;
};

// The application object while RunApplication runs, else nullptr.
extern TApplication* Application;

// The default title: the part of the path after the last backslash, cut at its first period,
// lower case from the second character on ("C:\x\BrannockSetup.exe" gives "Brannocksetup").
std::string ApplicationTitleFromPath(std::string_view path);

// The running program's full file name.
std::string ProgramFileName();
