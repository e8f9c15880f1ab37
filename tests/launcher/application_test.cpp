// The application object and its window, the start-up around a main sequence, and the DLL
// search hardening, on real windows (under Wine and Xvfb).
#include "platform/application.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/startup.h"

namespace {

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

TEST(ApplicationTitleFromPath, Table) {
  struct Case {
    const char* path;
    const char* title;
  };
  const Case cases[] = {
      {"C:\\Users\\u\\Downloads\\BrannockSetup.exe", "Brannocksetup"},
      {"BrannockSetup.exe", "Brannocksetup"},
      {"C:\\dotted.folder\\My.Setup.exe", "My"},  // cut at the first period of the name
      {"C:\\x\\bRANNOCK.EXE", "brannock"},        // the first character keeps its case
      {"C:\\x\\SETUP", "Setup"},
      {"C:\\x\\", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplicationTitleFromPath(c.path), c.title) << c.path;
}

TEST(Application, AZeroSizeVisibleWindowAtTheCentreThatCarriesTheTitle) {
  HWND handle = nullptr;
  {
    TApplication application(MainInstance());
    handle = application.Handle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WindowText(handle), "Launchertests");
    EXPECT_EQ(application.Title(), "Launchertests");

    RECT rect{};
    GetWindowRect(handle, &rect);
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    EXPECT_EQ(rect.left, GetSystemMetrics(SM_CXSCREEN) / 2);
    EXPECT_EQ(rect.top, GetSystemMetrics(SM_CYSCREEN) / 2);
    EXPECT_TRUE(IsWindowVisible(handle));
    EXPECT_EQ(GetAncestor(handle, GA_PARENT), GetDesktopWindow());  // top level
    EXPECT_EQ(GetWindow(handle, GW_OWNER), nullptr);

    application.SetTitle("Brannock_Quernholt");
    EXPECT_EQ(WindowText(handle), "Brannock_Quernholt");
    EXPECT_EQ(application.Title(), "Brannock_Quernholt");
  }
  EXPECT_FALSE(IsWindow(handle)) << "the window outlives the application object";
}

HWND g_seen_window = nullptr;

TEST(RunApplication, RunsTheSequenceWithTheApplicationObjectAndReturnsZero) {
  EXPECT_EQ(Application, nullptr);
  int exit_code = RunApplication([] {
    ASSERT_NE(Application, nullptr);
    g_seen_window = Application->Handle();
    EXPECT_TRUE(IsWindowVisible(g_seen_window));
  });
  EXPECT_EQ(exit_code, 0);
  EXPECT_NE(g_seen_window, nullptr);
  EXPECT_FALSE(IsWindow(g_seen_window));
  EXPECT_EQ(Application, nullptr);
}

// brannock_probe.dll lies beside this program, as a planted DLL would beside a downloaded setup
// program: found by the default search, no longer once the search is limited to the system.
TEST(HardenDllSearch, ADllBesideTheProgramIsNoLongerLoaded) {
  HMODULE before = LoadLibraryA("brannock_probe.dll");
  ASSERT_NE(before, nullptr) << "the probe DLL is not beside the test program";
  FreeLibrary(before);

  ASSERT_TRUE(HardenDllSearch());
  HMODULE after = LoadLibraryA("brannock_probe.dll");
  EXPECT_EQ(after, nullptr);
  if (after) FreeLibrary(after);
  EXPECT_NE(LoadLibraryA("version.dll"), nullptr) << "system DLLs must still load";
}

}  // namespace
