// Texts from mails and mailboxes (names, subjects, message texts) as the
// tool prints them: control characters and escape sequences are shown as
// "\xNN" so that no received text can move the cursor, retitle the window
// or hide what precedes it.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::tool {

// Every C0 control but the tab, DEL and the UTF-8 forms of the C1 controls
// (U+0080 to U+009F) become "\xNN" (each byte of them); with `lines`, LF and
// CR LF stay line ends (a lone CR is escaped).
std::string TerminalText(std::string_view text, bool lines = false);

}  // namespace quorvel::tool
