// The library's few warnings to the user (a message box on Windows).
#pragma once

#include <functional>
#include <string_view>

namespace quorvel::platform {

enum class AlertIcon { Information, Warning, Stop };

// Shows the alert; on POSIX it is one line on standard error:
// "<caption>: <text>".
void ShowAlert(std::string_view text, std::string_view caption, AlertIcon icon);

}  // namespace quorvel::platform
