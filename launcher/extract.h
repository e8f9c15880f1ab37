// Payload extraction: one resource of the running program, byte for byte, into a file.
//
// Takes the resource type and name (strings, matched without regard to letter case) and the
// full path of the file. The resource is found and loaded before the file is touched, so a
// missing one (EResNotFound) leaves an existing file as it was. The file is created or cut to
// zero length (EFCreateError when that fails; no folder is made for it), gets the whole resource
// in one write straight from the loaded image (none for an empty resource), and is closed on
// every path; after a failed write (EWriteError) it stays, closed, with what was written.
// Returns true: every failure is an exception.
#pragma once

#include <string>

bool ExtractResourceToFile(std::string resource_type, std::string resource_name,
                           std::string file_path);
