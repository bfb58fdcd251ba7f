// Texts of outgoing header lines that are not ASCII: RFC 2047 encoded words
// (subjects, display names, the name= of a part) and RFC 2231 extended
// parameters (filename*), in the message's charset, folded so that no line
// passes 78 characters where a line can be cut at all.
#pragma once

#include <string>
#include <string_view>

#include "text/CharsetText.h"

namespace quorvel {

inline constexpr size_t kMaxHeaderLine = 78;

// The text as base64 encoded words, one per line, lines joined by CR LF and
// a blank. `used` characters precede the text on its first line and
// `reserved` follow it on its last one. Words end on whole characters of
// the charset.
std::string EncodedWords(std::string_view text, std::string_view charset, size_t used,
                         size_t reserved);

// The parameter lines "\t<name>*=<charset>''<percent-encoded value>" or, when
// that is too long, "\t<name>*0*=...;" "\t<name>*1*=..." and so on, joined
// by ";" and CR LF.
std::string ExtendedParameter(std::string_view name, std::string_view value,
                              std::string_view charset);

}  // namespace quorvel
