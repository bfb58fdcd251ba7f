// The whole-text reader is the streaming reader fed the text at once.
#include "message/MessageParser.h"

#include <cstdint>

#include "message/StreamingParser.h"
#include "platform/FileSystem.h"

namespace quorvel {

std::string SafeFileName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\");
  if (separator != std::string_view::npos) name = name.substr(separator + 1);
  std::string safe;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f && c != ':') safe += c;
  }
  const size_t first = safe.find_first_not_of(' ');
  safe = first == std::string::npos ? std::string() : safe.substr(first, safe.find_last_not_of(' ') - first + 1);
  if (safe.size() > 200) safe.resize(200);
  if (safe.find_first_not_of('.') == std::string::npos) return {};
  return safe;
}

bool ParseMessage(MailMessage& message, std::string_view text, const char* directory, bool split) {
  StreamingParser parser(message, directory == nullptr ? std::string() : directory, split, SIZE_MAX);
  parser.Feed(text);
  parser.Finish();
  return true;
}

bool ParseMessageInPlace(MailMessage& message, std::string_view text, const char* directory,
                         bool split, std::optional<std::string_view>& bodyInText) {
  StreamingParser parser(message, directory == nullptr ? std::string() : directory, split, SIZE_MAX,
                         &bodyInText);
  parser.Feed(text);
  parser.Finish();
  return true;
}

void RemovePartFiles(const MailMessage& message) {
  for (const std::string& file : message.attachmentSources) {
    if (platform::IsExistingFile(file)) platform::RemoveFile(file);
  }
}

}  // namespace quorvel
