#include "platform/resource_stream.h"

#include "platform/exception.h"
#include "platform/res_strings.h"

TFileStream::TFileStream(const std::string& path) : handle_(FileCreate(path.c_str())) {
  if (handle_ < 0) Raise<EFCreateError>(FormatText(LoadResString(SFCreateError), {path}));
}

TFileStream::~TFileStream() {
  FileClose(handle_);
}

void TFileStream::WriteBuffer(const void* data, std::uint32_t size) {
  std::int32_t written = FileWrite(handle_, data, size);
  if (written < 0 || static_cast<std::uint32_t>(written) != size) {
    Raise<EWriteError>(LoadResString(SWriteError));
  }
}

TResourceStream::TResourceStream(HINSTANCE instance, const std::string& name, const char* type) {
  HRSRC found = FindResourceA(instance, name.c_str(), type);
  if (!found) Raise<EResNotFound>(FormatText(LoadResString(SResNotFound), {name}));
  HGLOBAL loaded = LoadResource(instance, found);
  if (!loaded) Raise<EResNotFound>(FormatText(LoadResString(SResNotFound), {name}));
  size_ = SizeofResource(instance, found);
  memory_ = LockResource(loaded);
}

void TResourceStream::SaveToStream(TFileStream& stream) const {
  if (size_ != 0) stream.WriteBuffer(memory_, size_);
}
