// The transport security options of quorvel send and receive (--tls,
// --user, --password-file, --ca-file, --insecure), which the commands apply
// to the calling thread's context.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::tool {

struct SecurityOptions {
  std::string tls;  // "", "starttls" or "implicit"
  std::string caFile;
  bool insecure = false;
};

// 0 for "", 1 for "starttls", 2 for "implicit"; empty for anything else.
std::optional<uint32_t> TlsModeOf(const std::string& text);
// The first line of the file, without its line break; empty when unreadable.
std::optional<std::string> ReadPasswordFile(const std::string& path);
// With --insecure, a warning on standard error: nothing then proves the
// server's identity.
void WarnIfInsecure(const char* command, const SecurityOptions& options);

}  // namespace quorvel::tool
