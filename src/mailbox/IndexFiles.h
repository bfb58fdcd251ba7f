// The two files behind an open index: "Mailbox.inv" itself and the side file
// "Mailbox.inv.new" through which every save passes. Both are held
// exclusively while the mailbox is open.
//
// A save writes the complete new image, with a trailer (CRC-32 and length), to
// the side file and syncs it; then rewrites the index in place and syncs it;
// then empties the side file. A side file that holds a complete image
// therefore means that a save did not finish, and its image is the newest
// complete index; otherwise the index file is. The index file's bytes are
// always exactly the index image, nothing more.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace quorvel {

inline constexpr const char* kIndexFileName = "Mailbox.inv";
inline constexpr const char* kSideFileName = "Mailbox.inv.new";

// The side file's form of an image, and the image in complete side bytes.
std::string SideFileBytes(const std::string& image);
std::optional<std::string> ImageInSideFile(std::string_view bytes);

class IndexFiles {
 public:
  enum class Opened { Existing, Created, Busy, Failed };

  // Opens the index in `directory` exclusively (read-only or read-write),
  // creating it when missing; a busy index is tried `attempts` times.
  Opened Open(const std::string& directory, bool readOnly, uint16_t attempts,
              uint16_t pauseMilliseconds);
  bool IsOpen() const { return index_.IsOpen(); }
  void Close();

  // The image of a save that did not finish, when there is one.
  std::optional<std::string> UnfinishedSave();
  // The bytes of the index file. Throws platform::FileError.
  std::string ReadIndex();
  // Saves `image` as described above. Throws platform::FileError; the last
  // complete image stays recoverable whatever step fails.
  void Save(const std::string& image);
  // Completes the save whose image UnfinishedSave found.
  void FinishSave(const std::string& image);

 private:
  void RewriteIndex(const std::string& image);

  platform::File index_;
  platform::File side_;  // not held when read-only
  std::string sidePath_;
  // A rewrite of the index failed midway: the side file keeps the last
  // complete image and must not be touched until the index is whole again.
  bool indexIncomplete_ = false;
};

}  // namespace quorvel
