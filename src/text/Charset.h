// The MIME charset label of an outgoing message, chosen from the Windows ANSI
// code page its texts were written in. Nothing is converted: only the label
// changes.
#pragma once

#include <cstdint>

namespace quorvel {

inline constexpr const char* kDefaultCharset = "iso-8859-1";

// The label for a code page; "iso-8859-1" for every page not in the table.
const char* CharsetNameForCodePage(int32_t codePage);

}  // namespace quorvel
