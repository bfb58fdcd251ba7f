// Lines are gathered in memory and written in large blocks: a message is
// mostly 74-byte base64 lines. The buffer is flushed whenever it passes one
// block, so memory stays bounded whatever the message's size.
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

void MimeFile::WriteRaw(std::string_view bytes) {
  try {
    buffer_.append(bytes);
    if (buffer_.size() >= kBlockSize) Flush();
  } catch (const std::exception& error) {
    LogException(kLocationMimeLine, error);
    throw;
  }
}

void MimeFile::TruncateTo(uint64_t size) {
  if (size >= written_) {
    buffer_.resize(static_cast<size_t>(size - written_));
    return;
  }
  buffer_.clear();
  file_.SetLength(size);
  file_.Seek(static_cast<int64_t>(size), platform::SeekOrigin::Begin);
  written_ = size;
}

void MimeFile::Flush() {
  file_.Write(buffer_.data(), buffer_.size());
  written_ += buffer_.size();
  buffer_.clear();
}

void MimeFile::Close() {
  Flush();
  file_.Close();
}

}  // namespace quorvel
