// Without a desktop, an alert is one line on standard error.
#include <cstdio>
#include <string>

#include "platform/Alert.h"

namespace quorvel::platform {

void ShowAlert(std::string_view text, std::string_view caption, AlertIcon) {
  const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace quorvel::platform
