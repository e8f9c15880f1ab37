// The launch sequence: the whole of one run of BrannockSetup.exe.
//
// Makes the working folder under the user's temp folder, writes the seven payload files of
// PayloadTable into it from the program's resources, expands the second-stage installer
// Brannock.ex_ into Brannock.exe and, only when that expansion succeeded, asks the shell to start
// it in the working folder, without waiting. Reads no command line and passes nothing on.
// An extraction failure is not caught here: it ends the run through the error box (exit code 1).
// A failed expansion is silent: nothing is started and the run ends with exit code 0, so a stale
// or planted Brannock.exe in the folder is never started in place of the one just carried.
#pragma once

#include <array>
#include <string>

inline constexpr char InstallerTitle[] = "Brannock_Quernholt";
inline constexpr char WorkFolderPrefix[] = "Inst-";
inline constexpr char PayloadResourceType[] = "FILE";
inline constexpr char InstallerSourceName[] = "Brannock.ex_";  // row 6, compressed
inline constexpr char InstallerTargetName[] = "Brannock.exe";  // its expansion, started

struct PayloadEntry {
  const char* resource_name;  // stored upper case in the resource directory
  const char* file_name;      // written into the working folder
};

// The payload, in the order in which it is written. Names ending in "_" are compressed; only
// row 6, the second-stage installer, is expanded here.
inline constexpr std::array<PayloadEntry, 7> PayloadTable{{
    {"Test1", "Quernholt.ex_"},    // the product's main program
    {"Test2", "Vormaplex.ex_"},    // a help viewer
    {"Test3", "Quernholt.Zeph_"},  // the product's help document
    {"Test4", "Tennamil.txt"},     // version history and notes
    {"Test5", "Orbisk.txt"},       // terms of use
    {"Test6", "Brannock.ex_"},     // the second-stage installer
    {"Test7", "Brannock.lst"},     // the second stage's settings list
}};

// The working folder's full path, without a trailing backslash; set by LaunchInstaller.
extern std::string WorkFolder;

void LaunchInstaller();
