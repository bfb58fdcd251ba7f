// One received part's body, decoded while it arrives into a file of its own:
// base64 and quoted-printable are undone piece by piece, so that memory
// stays bounded whatever the size of the body or the length of its lines.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace quorvel {

// Undoes a transfer encoding ("base64", "quoted-printable"; anything else is
// taken as it is) on a body handed over in pieces of any size: the pieces
// give the bytes that the whole body would give.
class BodyDecoder {
 public:
  using Sink = std::function<void(std::string_view)>;
  explicit BodyDecoder(std::string_view encoding);
  void Decode(std::string_view bytes, const Sink& write);
  void Finish(const Sink& write);

 private:
  enum class Kind { kAsIs, kBase64, kQuotedPrintable };
  Kind kind_;
  std::string pending_;  // not yet decodable: a group or a line begun
};

// The file "~AT<n>.tmp" of a part in its directory, written in large
// blocks. A write that fails leaves the file failed: Keep then removes it.
class PartBodyFile {
 public:
  // Creates the file; failed() when it cannot be.
  explicit PartBodyFile(const std::string& directory);
  PartBodyFile(const PartBodyFile&) = delete;
  PartBodyFile& operator=(const PartBodyFile&) = delete;
  // Without Keep the file is removed.
  ~PartBodyFile();

  void Write(std::string_view bytes);
  bool failed() const { return !file_; }
  // Closes the file: its path, or empty when it failed (then removed).
  std::string Keep();

 private:
  void Flush();
  std::string path_;
  std::optional<platform::File> file_;
  std::string buffer_;
};

}  // namespace quorvel
