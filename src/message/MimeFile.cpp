// Lines are gathered in memory and written in large blocks: a message is
// mostly 74-byte base64 lines. Once a file is open the buffer is flushed
// whenever it passes one block, so memory stays bounded whatever the
// message's size; a message held in memory never exceeds its limit.
#include "message/MimeFile.h"

#include <utility>

#include "frame/LogEvents.h"

namespace quorvel {

namespace {
constexpr size_t kBlockSize = 64 * 1024;
}

MimeFile::MimeFile(const std::string& path)
    : file_(platform::File::Open(path, platform::FileAccess::Write, platform::FileShare::DenyWrite,
                                 platform::FileDisposition::CreateAlways)) {}

MimeFile::MimeFile(size_t memoryLimit, Opener open)
    : open_(std::move(open)), memoryLimit_(memoryLimit) {}

void MimeFile::WriteLine(std::string_view line) {
  Append(line);
  if (line.empty() || line.back() != '\n') Append("\r\n");
}

void MimeFile::WriteRaw(std::string_view bytes) { Append(bytes); }

void MimeFile::Append(std::string_view bytes) {
  try {
    if (!file_ && buffer_.size() + bytes.size() > memoryLimit_) file_ = open_();
    buffer_.append(bytes);
    if (buffer_.size() >= kBlockSize && file_) Flush();
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
  file_->SetLength(size);
  file_->Seek(static_cast<int64_t>(size), platform::SeekOrigin::Begin);
  written_ = size;
}

void MimeFile::Flush() {
  file_->Write(buffer_.data(), buffer_.size());
  written_ += buffer_.size();
  buffer_.clear();
}

void MimeFile::Close() {
  if (!file_) file_ = open_();
  Flush();
  file_->Close();
}

}  // namespace quorvel
