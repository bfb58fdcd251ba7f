// The transport security options of quorvel send and receive (--tls,
// --user, --password-file, --oauth-token-file, --ca-file, --insecure), which
// the commands apply to the calling thread's context.
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
// The token file for renewals: a refused token makes the library ask
// TokenFromFile, which reads the file's first line again (a program that
// keeps the token fresh may have rewritten it meanwhile).
void UseTokenFile(const std::string& path);
uint32_t TokenFromFile(const char* user, char* token, uint32_t capacity, uint32_t userValue);
// With --insecure, a warning on standard error: nothing then proves the
// server's identity.
void WarnIfInsecure(const char* command, const SecurityOptions& options);

}  // namespace quorvel::tool
