#include "platform/res_strings.h"

#include <windows.h>

#include "platform/startup.h"

std::string LoadResString(unsigned id) {
  // The longest entry is well below this; LoadStringA cuts (and terminates) a longer one.
  char text[1024];
  int length = LoadStringA(MainInstance(), id, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string text;
  text.reserve(format.size() + 64);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      char kind = format[i + 1];
      if (kind == '%') {
        text += '%';
        ++i;
        continue;
      }
      if (kind == 's' || kind == 'p') {
        if (next != args.end()) text += *next++;
        ++i;
        continue;
      }
    }
    text += c;
  }
  return text;
}
