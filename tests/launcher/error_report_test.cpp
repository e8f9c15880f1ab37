// The framework's texts in the string table and the report of an uncaught exception: its exact
// text, the period rule, the raise address, the module name and texts longer than 256
// characters.
#include "platform/error_report.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/application.h"
#include "platform/res_strings.h"
#include "platform/startup.h"
#include "test_support.h"

namespace {

TEST(ResString, TheFrameworkTextsComeFromTheStringTable) {
  struct Case {
    unsigned id;
    const char* text;
  };
  const Case cases[] = {
      {61450, "Ressource %s nicht gefunden"},
      {61441, "Kann Datei %s nicht erstellen"},
      {61444, "Stream-Write-Fehler "},
      {SException, "Exception %s im Modul %s bei %p.\n%s%s"},
      {SExceptTitle, "Anwendungsfehler"},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadResString(c.id), c.text) << c.id;
  EXPECT_EQ(SResNotFound, 61450u);
  EXPECT_EQ(SFCreateError, 61441u);
  EXPECT_EQ(SWriteError, 61444u);
  EXPECT_EQ(LoadResString(60000), "");  // no such entry
}

TEST(FormatText, FillsEachPlaceholderInTurn) {
  EXPECT_EQ(FormatText("Kann Datei %s nicht erstellen", {"C:\\x y\\f.txt"}),
            "Kann Datei C:\\x y\\f.txt nicht erstellen");
  EXPECT_EQ(FormatText("%s|%p|%s%s", {"a", "0000ABCD", "b", ""}), "a|0000ABCD|b");
  EXPECT_EQ(FormatText("100%% %d %s", {"sure"}), "100% %d sure");
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ");  // missing arguments stay empty
  EXPECT_EQ(FormatText("%s", {"%s from a path"}), "%s from a path");  // arguments are not read
}

// Raises from a known place, so the reported address can be checked against it.
__attribute__((noinline)) void RaiseFromHere() {
  Raise<EResNotFound>("Ressource Test9 nicht gefunden");
}

// The start of this program's code, from its section table (the report goes by the header's
// BaseOfCode; both name the .text section).
std::uintptr_t TextSectionStart() {
  auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::string(reinterpret_cast<const char*>(section->Name), 5) == ".text") {
      return base + section->VirtualAddress;
    }
  }
  return 0;
}

TEST(ExceptionReport, NamesClassModuleRaiseSiteAndMessage) {
  try {
    RaiseFromHere();
    FAIL() << "no exception";
  } catch (const Exception& error) {
    std::string text = ExceptionReportText(error);
    const std::string head = "Exception EResNotFound im Modul LauncherTests.exe bei ";
    const std::string tail = ".\nRessource Test9 nicht gefunden.";
    ASSERT_EQ(text.size(), head.size() + 8 + tail.size()) << text;
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size() + 8), tail);
    std::string hex = text.substr(head.size(), 8);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;

    // The address, taken from the start of the code, lies in the function that raised.
    std::uintptr_t site = TextSectionStart() + std::strtoul(hex.c_str(), nullptr, 16);
    auto function = reinterpret_cast<std::uintptr_t>(&RaiseFromHere);
    EXPECT_GE(site, function);
    EXPECT_LT(site, function + 256);
  }
}

TEST(ExceptionReport, AddsAPeriodUnlessTheMessageIsEmptyOrEndsWithOne) {
  struct Case {
    std::string message;
    std::string second_line;
  };
  const Case cases[] = {
      {"Ressource Test4 nicht gefunden", "Ressource Test4 nicht gefunden."},
      {"Stream-Write-Fehler ", "Stream-Write-Fehler ."},
      {"Ends with a period.", "Ends with a period."},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = ExceptionReportText("EWriteError", c.message, nullptr);
    EXPECT_EQ(text,
              "Exception EWriteError im Modul LauncherTests.exe bei 00000000.\n" + c.second_line)
        << "message '" << c.message << "'";
  }
}

// A create failure on a long path: the text is far longer than 256 characters and comes whole.
TEST(ExceptionReport, ALongMessageIsShownWhole) {
  std::string path = "C:\\users\\Public\\" + std::string(300, 'p') + "\\Brannock.ex_";
  std::string message = "Kann Datei " + path + " nicht erstellen";
  std::string text = ExceptionReportText("EFCreateError", message, nullptr);
  EXPECT_GT(text.size(), 256u);
  EXPECT_EQ(text,
            "Exception EFCreateError im Modul LauncherTests.exe bei 00000000.\n" + message + ".");
}

// The module named is the one whose code raised, its file name cut to 63 characters: a DLL with
// a long file name, loaded from a scratch folder.
TEST(ExceptionReport, TheModuleNameIsCutTo63Characters) {
  ScratchDir dir;
  std::string long_name = std::string(60, 'm') + "_probe_module.dll";
  std::string copy = dir.File(long_name);
  std::string probe = ProgramFileName();
  probe = probe.substr(0, probe.rfind('\\') + 1) + "brannock_probe.dll";
  ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE)) << probe;
  HMODULE module = LoadLibraryA(copy.c_str());
  ASSERT_NE(module, nullptr);
  auto base = reinterpret_cast<const char*>(module);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const void* in_code = base + nt->OptionalHeader.BaseOfCode + 0x10;

  EXPECT_EQ(ModuleNameOf(in_code), long_name.substr(0, 63));
  EXPECT_EQ(CodeOffsetOf(in_code), 0x10u);
  EXPECT_EQ(ModuleNameOf(nullptr), "LauncherTests.exe");
  FreeLibrary(module);
}

}  // namespace
