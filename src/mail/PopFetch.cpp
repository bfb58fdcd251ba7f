#include "mail/PopFetch.h"

#include <algorithm>

#include "message/StreamingParser.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

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
  bool synced = true;
  std::vector<std::string> directories;
  for (const std::string& file : files) {
    if (file.empty()) continue;
    synced = platform::SyncFile(file) && synced;
    directories.push_back(platform::DirectoryOf(file));
  }
  std::sort(directories.begin(), directories.end());
  directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
  for (const std::string& directory : directories) {
    synced = platform::SyncDirectory(directory) && synced;
  }
  return synced;
}

}  // namespace quorvel
