#include "SecurityOptions.h"

#include <cstdio>
#include <cstring>

#include "platform/WholeFile.h"

namespace quorvel::tool {

std::optional<uint32_t> TlsModeOf(const std::string& text) {
  if (text.empty()) return 0;
  if (text == "starttls") return 1;
  if (text == "implicit") return 2;
  return std::nullopt;
}

std::optional<std::string> ReadPasswordFile(const std::string& path) {
  std::optional<std::string> content = platform::ReadWholeFile(path);
  if (!content) return std::nullopt;
  const size_t end = content->find_first_of("\r\n");
  if (end != std::string::npos) content->resize(end);
  return content;
}

namespace {
std::string tokenFile;  // the command's own, set before the library may ask
}  // namespace

void UseTokenFile(const std::string& path) { tokenFile = path; }

uint32_t TokenFromFile(const char*, char* token, uint32_t capacity, uint32_t) {
  const std::optional<std::string> read = ReadPasswordFile(tokenFile);
  if (!read || read->size() >= capacity) return 0;
  std::memcpy(token, read->data(), read->size());
  return static_cast<uint32_t>(read->size());
}

void WarnIfInsecure(const char* command, const SecurityOptions& options) {
  if (options.insecure) {
    std::fprintf(stderr, "quorvel %s: --insecure: the server's certificate is not verified\n",
                 command);
  }
}

}  // namespace quorvel::tool
