// The process environment of the system (what GetTempPathA reads), not the
// C runtime's copy of it.
#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace quorvel::platform {

const char* const kTemporaryDirectoryVariable = "TMP";

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

std::optional<std::string> EnvironmentValue(const std::string& name) {
  const DWORD needed = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<char> buffer(needed);
  const DWORD length = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), needed);
  if (length >= needed) return std::nullopt;
  return std::string(buffer.data(), length);
}

void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  ::SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

}  // namespace quorvel::platform
