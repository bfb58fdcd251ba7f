#include "mime/PopFetch.h"

#include <algorithm>

#include "mime/MessageParser.h"
#include "mime/ParseWhileReceiving.h"
#include "platform/FileSystem.h"

namespace quorvel {

void FetchEachMessage(PopClient& client, uint16_t count, MailMessage& message,
                      const std::function<void(uint32_t number, const std::string& text)>& take) {
  std::string text;
  for (uint32_t number = 1; number <= count; ++number) {
    if (client.StopRequested()) break;
    {
      ParseWhileReceiving parse(message);
      if (!client.Retrieve(number, text, &parse.arriving())) {
        if (!client.IsConnected()) break;
        continue;
      }
      if (!parse.Finish()) ParseMessage(message, text, nullptr, true);
    }
    take(number, text);
  }
}

bool SyncToDisk(const std::vector<std::string>& files) {
  bool synced = true;
  std::vector<std::string> directories;
  for (const std::string& file : files) {
    if (file.empty()) continue;
    synced = platform::SyncFile(file) && synced;
    const size_t separator = file.find_last_of("/\\");
    directories.push_back(separator == std::string::npos ? std::string() : file.substr(0, separator + 1));
  }
  std::sort(directories.begin(), directories.end());
  directories.erase(std::unique(directories.begin(), directories.end()), directories.end());
  for (const std::string& directory : directories) {
    synced = platform::SyncDirectory(directory) && synced;
  }
  return synced;
}

}  // namespace quorvel
