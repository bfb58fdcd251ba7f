// The file a message is composed into. Every line is written the same way:
// its bytes, then CR LF unless it is non-empty and already ends with LF. No
// folding, no length limit, no dot-stuffing, no header encoding.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace quorvel {

// Location logged for an exception while writing one line.
inline constexpr uint32_t kLocationMimeLine = 516;

class MimeFile {
 public:
  // Opens the file that takes the message; throws platform::FileError.
  using Opener = std::function<platform::File()>;

  // Creates (or truncates) the file; throws platform::FileError.
  explicit MimeFile(const std::string& path);
  // Holds the message in memory while it stays within `memoryLimit` bytes;
  // the first byte past that opens the file through `open`, and the file
  // then takes the whole message, so memory stays bounded.
  MimeFile(size_t memoryLimit, Opener open);
  // Throws what writing throws, after logging it.
  void WriteLine(std::string_view line);
  // Writes the bytes as they are (text that already holds its line breaks).
  void WriteRaw(std::string_view bytes);
  // The number of bytes written so far, and a way back to such a count:
  // what was written after it is dropped.
  uint64_t Size() const { return written_ + buffer_.size(); }
  void TruncateTo(uint64_t size);
  // Whether no file has been opened: the whole message is then `Held()`.
  bool InMemory() const { return !file_; }
  std::string_view Held() const { return buffer_; }
  // Writes what is buffered and closes the file (opening it first when the
  // message is still in memory).
  void Close();

 private:
  void Append(std::string_view bytes);
  void Flush();
  Opener open_;
  size_t memoryLimit_ = 0;
  std::optional<platform::File> file_;
  std::string buffer_;
  uint64_t written_ = 0;  // bytes already in the file
};

}  // namespace quorvel
