#include "text/DerivedName.h"

#include <algorithm>

namespace quorvel {

std::string DerivedName(std::string_view name, std::string_view address) {
  if (!name.empty()) return std::string(name);
  const size_t at = address.find('@');
  if (at == std::string_view::npos) return std::string(address);
  std::string local(address.substr(0, at));
  std::replace(local.begin(), local.end(), '.', ' ');
  return local;
}

}  // namespace quorvel
