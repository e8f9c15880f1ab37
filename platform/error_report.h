// The report of an exception that nothing caught: a task-modal message box with the stop icon.
//
//   title  "Anwendungsfehler"                                   (string table, SExceptTitle)
//   text   "Exception %s im Modul %s bei %p." LF "%s%s"          (string table, SException)
//          class name, module file name (at most 63 characters), raise address relative to
//          the start of the module's code as 8 upper-case hex digits, message, and a period
//          unless the message is empty or already ends with one.
//
// The text is sized to what it holds: a long message (a long path) is shown whole, never cut
// into or written past a fixed buffer. An exception raised without a known address reports the
// program's own module and 00000000.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

// The module's file name without its folder, at most 63 characters; for nullptr, the program's.
std::string ModuleNameOf(const void* address);

// Offset of address from the start of the code of the module that holds it; 0 for nullptr.
std::uint32_t CodeOffsetOf(const void* address);

std::string ExceptionReportText(const char* class_name, const std::string& message,
                                const void* address);
inline std::string ExceptionReportText(const Exception& error) {
  return ExceptionReportText(error.ClassName(), error.Message(), error.Address());
}

// Shows the box (no owner; MB_OK | MB_ICONSTOP | MB_TASKMODAL) and returns once it is closed.
void ShowException(const char* class_name, const std::string& message, const void* address);
inline void ShowException(const Exception& error) {
  ShowException(error.ClassName(), error.Message(), error.Address());
}
