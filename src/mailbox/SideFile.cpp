#include "mailbox/SideFile.h"

#include "platform/FileSystem.h"

namespace quorvel {

bool RewriteSideFile(const std::string& path, const std::string& bytes, platform::File& appendTo) {
  const std::string fresh = path + ".new";
  {
    platform::File file = platform::File::Open(fresh, platform::FileAccess::Write,
                                               platform::FileShare::Exclusive,
                                               platform::FileDisposition::CreateAlways);
    file.Write(bytes.data(), bytes.size());
    file.Sync();
  }
  if (!platform::ReplaceFile(fresh, path)) {
    platform::RemoveFile(fresh);
    return false;
  }
  appendTo = platform::File::Open(path, platform::FileAccess::ReadWrite,
                                  platform::FileShare::Exclusive,
                                  platform::FileDisposition::OpenExisting);
  appendTo.Seek(0, platform::SeekOrigin::End);
  return true;
}

}  // namespace quorvel
