// Line ends are the text's own LF, with or without a CR before it; every other
// CR is data and is encoded, so that no reader takes it for a line end.
#include "mime/TransferEncoding.h"

namespace quorvel {

namespace {

constexpr size_t kMaxEncodedLine = 76;

bool IsLineEnd(std::string_view text, size_t at) {
  return text[at] == '\n' || (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n');
}

// The byte as it stands in an encoded line: itself, or "=" and two hex digits.
std::string Encoded(unsigned char byte, bool endsLine) {
  const bool blank = byte == ' ' || byte == '\t';
  if ((byte >= 33 && byte <= 126 && byte != '=') || (blank && !endsLine)) {
    return std::string(1, static_cast<char>(byte));
  }
  constexpr char kHex[] = "0123456789ABCDEF";
  return {'=', kHex[byte >> 4], kHex[byte & 15]};
}

}  // namespace

bool NeedsQuotedPrintable(std::string_view text) {
  size_t lineLength = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lineLength = 0;
      continue;
    }
    if (text[i] == '\0' || (text[i] == '\r' && !IsLineEnd(text, i))) return true;
    if (text[i] != '\r' && ++lineLength > kMaxEightBitLine) return true;
  }
  return false;
}

const char* TransferEncodingOf(std::string_view text) {
  return NeedsQuotedPrintable(text) ? "quoted-printable" : "8bit";
}

std::string EncodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t column = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLineEnd(text, i)) {
      if (text[i] == '\r') ++i;
      out += "\r\n";
      column = 0;
      continue;
    }
    const bool endsLine = i + 1 == text.size() || IsLineEnd(text, i + 1);
    const std::string piece = Encoded(static_cast<unsigned char>(text[i]), endsLine);
    // A soft break keeps room for its "=" (and a last piece needs none).
    const size_t room = endsLine ? kMaxEncodedLine : kMaxEncodedLine - 1;
    if (column + piece.size() > room) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  return out;
}

}  // namespace quorvel
