// Values that reach an SMTP command or a header line must not end that line
// early: a CR or LF inside them would let a caller smuggle in a command or a
// header of its own.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The text with every CR, LF and NUL turned into a space.
std::string OneLineText(std::string_view text);
// False for an address holding CR, LF, NUL or an angle bracket: it would end
// the "<...>" of its command, or the command itself.
bool IsCommandSafeAddress(std::string_view address);

}  // namespace quorvel
