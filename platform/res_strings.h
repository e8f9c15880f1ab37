// The framework's own texts, held in the program's string table (resources/strings.rc) and
// fetched by number, and the small formatter that fills them.
//
// LoadResString(id) returns the entry of the running program's string table, or an empty string
// when it has none. FormatText fills a format the way the framework does: each %s or %p takes
// the next argument as it stands (a %p argument comes already written as hex digits), "%%" is a
// percent sign, anything else is copied. The result is sized to the text; nothing is cut.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Entries of the string table; their texts are in resources/strings.rc.
inline constexpr unsigned SFCreateError = 61441;     // "Kann Datei %s nicht erstellen"
inline constexpr unsigned SWriteError = 61444;       // "Stream-Write-Fehler "
inline constexpr unsigned SResNotFound = 61450;      // "Ressource %s nicht gefunden"
inline constexpr unsigned SException = 61456;        // the error box's text, see error_report.h
inline constexpr unsigned SExceptTitle = 61457;      // "Anwendungsfehler"
inline constexpr unsigned STempFolderError = 61458;  // "Kann den Temp-Ordner nicht ermitteln"

std::string LoadResString(unsigned id);

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);
