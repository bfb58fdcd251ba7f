#include "TerminalText.h"

#include <cstdio>

namespace quorvel::tool {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
  out += escaped;
}

}  // namespace

std::string TerminalText(std::string_view text, bool lines) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool lineEnd = lines && (byte == '\n' || (byte == '\r' && i + 1 < text.size() &&
                                                     text[i + 1] == '\n'));
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c1) {
      AppendEscaped(shown, byte);
      AppendEscaped(shown, static_cast<unsigned char>(text[++i]));
    } else if (((byte < 0x20 && byte != '\t') || byte == 0x7F) && !lineEnd) {
      AppendEscaped(shown, byte);
    } else {
      shown += text[i];
    }
  }
  return shown;
}

}  // namespace quorvel::tool
