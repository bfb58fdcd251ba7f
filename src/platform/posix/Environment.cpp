// setenv and unsetenv; the caller serialises changes, as POSIX asks.
#include "platform/Environment.h"

#include <unistd.h>

#include <cstdlib>

namespace quorvel::platform {

const char* const kTemporaryDirectoryVariable = "TMPDIR";

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

std::optional<std::string> EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace quorvel::platform
