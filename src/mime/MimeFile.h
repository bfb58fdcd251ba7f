// The file a message is composed into. Every line is written the same way:
// its bytes, then CR LF unless it is non-empty and already ends with LF. No
// folding, no length limit, no dot-stuffing, no header encoding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace quorvel {

// Location logged for an exception while writing one line.
inline constexpr uint32_t kLocationMimeLine = 516;

class MimeFile {
 public:
  // Creates (or truncates) the file; throws platform::FileError.
  explicit MimeFile(const std::string& path);
  // Throws what writing throws, after logging it.
  void WriteLine(std::string_view line);
  // Writes the bytes as they are (text that already holds its line breaks).
  void WriteRaw(std::string_view bytes);
  // The number of bytes written so far, and a way back to such a count:
  // what was written after it is dropped.
  uint64_t Size() const { return written_ + buffer_.size(); }
  void TruncateTo(uint64_t size);
  // Writes what is buffered and closes the file.
  void Close();

 private:
  void Flush();
  platform::File file_;
  std::string buffer_;
  uint64_t written_ = 0;  // bytes already in the file
};

}  // namespace quorvel
