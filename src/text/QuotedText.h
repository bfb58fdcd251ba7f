// Texts of the dumps between double quotes, safe to print on a terminal.
// In the header: the tool's host commands use it without the library's core.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvel {

namespace quoted_text {

inline bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence of a character above 0x7F at the
// start of `bytes`, 0 when there is none (a C1 control counts as none).
inline size_t ValidSequence(std::string_view bytes) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  size_t length = 0;
  unsigned char least = 0x80, most = 0xBF;  // the bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    if (lead == 0xC2) least = 0xA0;  // U+0080 to U+009F are the C1 controls
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) least = 0xA0;       // no overlong form
    if (lead == 0xED) most = 0x9F;        // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) least = 0x90;
    if (lead == 0xF4) most = 0x8F;        // nothing above U+10FFFF
  }
  if (length == 0 || bytes.size() < length) return 0;
  if (at(1) < least || at(1) > most) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(at(i))) return 0;
  }
  return length;
}

}  // namespace quoted_text

// `bytes` between double quotes: quotes and backslashes escaped with a
// backslash; control characters (C0, DEL and C1) and every byte that is not
// part of a valid UTF-8 sequence as "\xNN"; the rest (printable ASCII and
// UTF-8 characters) as it is, so a person reads it and a hostile file cannot
// garble the terminal.
inline std::string QuotedText(std::string_view bytes) {
  std::string text = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '"' || byte == '\\') {
      text += '\\';
      text += bytes[i++];
    } else if (byte >= 0x20 && byte < 0x7F) {
      text += bytes[i++];
    } else if (const size_t length = byte > 0x7F ? quoted_text::ValidSequence(bytes.substr(i)) : 0) {
      text.append(bytes.substr(i, length));
      i += length;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
      ++i;
    }
  }
  return text + "\"";
}

}  // namespace quorvel
