#include "launcher/launch_sequence.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "expander/expand_file.h"
#include "launcher/extract.h"
#include "launcher/paths.h"
#include "platform/application.h"
#include "platform/startup.h"

std::string WorkFolder;

void LaunchInstaller() {
  Application->Initialize();
  Application->SetTitle(InstallerTitle);

  WorkFolder = GetTempDirectory() + WorkFolderPrefix + InstallerTitle;
  EnsureFolder(WorkFolder);

  for (const PayloadEntry& entry : PayloadTable) {
    ExtractResourceToFile(PayloadResourceType, entry.resource_name,
                          AppendBackslash(WorkFolder) + entry.file_name);
  }

  ExpandSourceName = AppendBackslash(WorkFolder) + InstallerSourceName;
  ExpandTargetName = AppendBackslash(WorkFolder) + InstallerTargetName;
  // Start only what was just expanded: after a failed expansion the folder may still hold an
  // older Brannock.exe (in use, or put there by someone else), which must not be run with the
  // administrator rights this program was given.
  if (ExpandFile() == 1) {
    ShellExecuteA(nullptr, "open", ExpandTargetName.c_str(), "", WorkFolder.c_str(), SW_SHOW);
  }

  Application->Run();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunApplication(LaunchInstaller);
}
