// UTF-8 <-> UTF-16 as Windows converts code page 65001: each ill-formed
// sequence (its maximal valid prefix) becomes one U+FFFD, and a lone
// surrogate becomes the three bytes of U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::platform {

std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace quorvel::platform
