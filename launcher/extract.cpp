#include "launcher/extract.h"

#include "platform/resource_stream.h"
#include "platform/startup.h"

bool ExtractResourceToFile(std::string resource_type, std::string resource_name,
                           std::string file_path) {
  TResourceStream resource(MainInstance(), resource_name, resource_type.c_str());
  TFileStream file(file_path);  // closed at the end of the call, also when the write raises
  resource.SaveToStream(file);
  return true;
}
