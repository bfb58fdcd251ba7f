// The file a message is composed into. Every line is written the same way:
// its bytes, then CR LF unless it is non-empty and already ends with LF. No
// folding, no length limit, no dot-stuffing, no header encoding.
#pragma once

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
  // Writes what is buffered and closes the file.
  void Close();

 private:
  void Flush();
  platform::File file_;
  std::string buffer_;
};

}  // namespace quorvel
