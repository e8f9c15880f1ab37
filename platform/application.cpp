#include "platform/application.h"

TApplication* Application = nullptr;

namespace {

constexpr char kWindowClass[] = "TApplication";

// Written like the framework's own application window: a popup with a caption and a system
// menu. Without WS_THICKFRAME the system does not raise the zero size to its minimum size.
constexpr DWORD kWindowStyle =
    WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;

}  // namespace

std::string ProgramFileName() {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);  // cut off: ask again with more room
  }
}

std::string ApplicationTitleFromPath(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string title(name.substr(0, name.find('.')));
  if (title.size() > 1) CharLowerBuffA(title.data() + 1, static_cast<DWORD>(title.size() - 1));
  return title;
}

TApplication::TApplication(HINSTANCE instance)
    : instance_(instance), title_(ApplicationTitleFromPath(ProgramFileName())) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance_;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.lpszClassName = kWindowClass;
  RegisterClassA(&window_class);
  handle_ = CreateWindowExA(0, kWindowClass, title_.c_str(), kWindowStyle,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, instance_, nullptr);
  if (handle_) ShowWindow(handle_, SW_SHOW);
}

TApplication::~TApplication() {
  if (handle_) DestroyWindow(handle_);
  UnregisterClassA(kWindowClass, instance_);
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_) SetWindowTextA(handle_, title_.c_str());
}
