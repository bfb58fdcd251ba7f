// Windows-style name patterns: '*' matches any run, '?' one character, and
// letters match without regard to case.
#pragma once

#include <string_view>

namespace quorvel::platform {

bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace quorvel::platform
