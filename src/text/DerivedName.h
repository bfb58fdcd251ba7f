// The display name of a sender: the given name, or else one made from the
// address's local part.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// `name` when it is not empty; otherwise, for an address with "@", the part
// before the first "@" with every "." turned into a blank; otherwise the
// address itself.
std::string DerivedName(std::string_view name, std::string_view address);

}  // namespace quorvel
