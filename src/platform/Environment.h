// Environment variables of the process, for hosts and tests that move the
// system's temporary directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::platform {

// The variable TemporaryDirectory reads first: "TMPDIR" on POSIX, "TMP" on
// Windows.
extern const char* const kTemporaryDirectoryVariable;

// The identifier of the calling process.
uint32_t CurrentProcessId();

std::optional<std::string> EnvironmentValue(const std::string& name);
// Sets `name`, or removes it when `value` is empty.
void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value);

}  // namespace quorvel::platform
