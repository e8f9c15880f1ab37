#include "platform/error_report.h"

#include <windows.h>

#include "platform/res_strings.h"
#include "platform/startup.h"

namespace {

constexpr std::size_t kModuleNameLimit = 63;

// The module whose image holds address; the program's own for nullptr or an unknown address.
HMODULE ModuleOf(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  if (address && VirtualQuery(address, &info, sizeof info) == sizeof info &&
      info.Type == MEM_IMAGE && info.AllocationBase) {
    return static_cast<HMODULE>(info.AllocationBase);
  }
  return MainInstance();
}

// Start of the module's code: its base plus BaseOfCode from the PE optional header.
std::uintptr_t CodeStartOf(HMODULE module) {
  auto base = reinterpret_cast<std::uintptr_t>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return base + nt->OptionalHeader.BaseOfCode;
}

}  // namespace

std::string ModuleNameOf(const void* address) {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(ModuleOf(address), path, MAX_PATH);
  std::string name(path, length < MAX_PATH ? length : MAX_PATH);
  std::size_t slash = name.rfind('\\');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() > kModuleNameLimit) name.resize(kModuleNameLimit);
  return name;
}

std::uint32_t CodeOffsetOf(const void* address) {
  if (!address) return 0;
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                    CodeStartOf(ModuleOf(address)));
}

std::string ExceptionReportText(const char* class_name, const std::string& message,
                                const void* address) {
  std::uint32_t value = CodeOffsetOf(address);
  char offset[8];
  for (int i = 7; i >= 0; --i, value >>= 4) offset[i] = "0123456789ABCDEF"[value & 0xF];
  bool add_period = !message.empty() && message.back() != '.';
  return FormatText(LoadResString(SException),
                    {class_name, ModuleNameOf(address), std::string_view(offset, sizeof offset),
                     message, add_period ? "." : ""});
}

void ShowException(const char* class_name, const std::string& message, const void* address) {
  std::string text = ExceptionReportText(class_name, message, address);
  std::string title = LoadResString(SExceptTitle);
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}
