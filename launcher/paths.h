// Path rules of the launcher: the user's temp folder, joining a folder and a name, and creating
// a folder with its missing parents.
//
// Paths are Windows paths in the ANSI code page; the backslash is the only separator and a drive
// prefix ends with a colon. Every operation takes its path by value and returns a new string.
// Only GetTempDirectory can fail (it raises EOSError when Windows reports no temp folder); the
// folder operations report nothing: a folder that cannot be made shows up later, when a file
// cannot be created in it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/exception.h"

BRANNOCK_EXCEPTION_CLASS(EOSError, Exception);

// The temp folder exactly as GetTempPathA reports it, ending in a backslash. Asks with room for
// 255 characters; when Windows reports a longer path (or none), asks once more with a buffer of
// the size it reports, and raises EOSError ("Kann den Temp-Ordner nicht ermitteln") when that
// fails too. The query can be replaced (tests of the failure paths).
using TempPathQuery = DWORD(WINAPI*)(DWORD length, LPSTR buffer);
std::string GetTempDirectory(TempPathQuery query = GetTempPathA);

// "" -> ""; a folder ending in a backslash -> unchanged; anything else -> folder + "\".
std::string AppendBackslash(std::string folder);

// True when the path names an existing folder (a plain file is no folder).
bool IsFolder(std::string path);

// Creates the folder and every missing parent, outermost first; an existing folder is left as it
// is. One trailing backslash is ignored; a drive ("C:") or anything shorter stops the climb.
void EnsureFolder(std::string path);
