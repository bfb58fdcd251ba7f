// Lines are gathered in memory and written in large blocks: a message is
// mostly 74-byte base64 lines.
#include "mime/MimeFile.h"

#include "frame/LogEvents.h"

namespace quorvel {

namespace {
constexpr size_t kBlockSize = 64 * 1024;
}

MimeFile::MimeFile(const std::string& path)
    : file_(platform::File::Open(path, platform::FileAccess::Write, platform::FileShare::DenyWrite,
                                 platform::FileDisposition::CreateAlways)) {}

void MimeFile::WriteLine(std::string_view line) {
  try {
    buffer_.append(line);
    if (line.empty() || line.back() != '\n') buffer_.append("\r\n");
    if (buffer_.size() >= kBlockSize) Flush();
  } catch (const std::exception& error) {
    LogException(kLocationMimeLine, error);
    throw;
  }
}

void MimeFile::Flush() {
  file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void MimeFile::Close() {
  Flush();
  file_.Close();
}

}  // namespace quorvel
