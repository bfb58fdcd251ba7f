#include "mail/PopFetch.h"

#include <algorithm>
#include <optional>

#include "message/StreamingParser.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

// Files written per directory from which one flush of the whole file
// system costs less than a flush of each file.
constexpr size_t kFilesPerFileSystemSync = 8;

// One flush of the file system of each directory; nothing where the system
// cannot flush a whole file system.
std::optional<bool> SyncFileSystemsOf(const std::vector<std::string>& directories) {
  bool synced = true;
  for (const std::string& directory : directories) {
    const std::optional<bool> whole = platform::SyncFileSystemOf(directory);
    if (!whole) return std::nullopt;
    synced = *whole && synced;
  }
  return synced;
}

}  // namespace

void FetchEachMessage(PopClient& client, uint16_t count, MailMessage& message,
                      const std::string& directory, size_t keptText,
                      const std::function<void(uint32_t number, const std::string* text)>& take) {
  for (uint32_t number = 1; number <= count; ++number) {
    if (client.StopRequested()) break;
    std::string text;
    bool keep = keptText > 0;
    StreamingParser parser(message, directory, true, kMaxReceivedBodyText);
    const bool retrieved = client.Retrieve(number, [&](std::string_view piece) {
      parser.Feed(piece);
      if (!keep) return;
      if (text.size() + piece.size() <= keptText) {
        text.append(piece);
      } else {
        keep = false;
        text = std::string();
      }
    });
    if (!retrieved) {
      if (!client.IsConnected()) break;
      continue;
    }
    parser.Finish();
    take(number, keep ? &text : nullptr);
  }
}

bool SyncToDisk(const std::vector<std::string>& files) {
  std::vector<std::string> directories;
  for (const std::string& file : files) {
    if (!file.empty()) directories.push_back(platform::DirectoryOf(file));
  }
  std::sort(directories.begin(), directories.end());
  directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
  if (directories.size() * kFilesPerFileSystemSync <= files.size()) {
    if (const std::optional<bool> synced = SyncFileSystemsOf(directories)) return *synced;
  }
  bool synced = true;
  for (const std::string& file : files) {
    if (!file.empty()) synced = platform::SyncFile(file) && synced;
  }
  for (const std::string& directory : directories) {
    synced = platform::SyncDirectory(directory) && synced;
  }
  return synced;
}

}  // namespace quorvel
