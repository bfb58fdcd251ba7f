// Line ends are the text's own LF, with or without a CR before it; every other
// CR is data and is encoded, so that no reader takes it for a line end.
#include "message/TransferEncoding.h"

#include <cstdint>
#include <cstring>

namespace quorvel {

namespace {

constexpr size_t kMaxEncodedLine = 76;
constexpr uint64_t kEveryByte = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x8080808080808080;

// The high bit set in (at least) the lowest zero byte of the word, when it
// has one; bytes above a zero byte may show a false one.
uint64_t HasZeroByte(uint64_t word) { return (word - kEveryByte) & ~word & kHighBits; }

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

// Eight bytes at a time: a word holding no NUL, CR, LF and no byte above
// 0x7F changes nothing but the length of its line, so it is passed over
// whole; any other word is looked at byte by byte.
TextScan ScanText(std::string_view text) {
  TextScan scan;
  const char* const end = text.data() + text.size();
  const char* lineStart = text.data();
  const auto lineTooLong = [&](const char* lineEnd) {
    return static_cast<size_t>(lineEnd - lineStart) > kMaxEightBitLine;
  };
  const auto scanByte = [&](const char* at) {
    const auto byte = static_cast<unsigned char>(*at);
    if (byte > 0x7F) {
      scan.eightBit = true;
    } else if (byte == '\n') {
      // A CR before the LF belongs to the line end, not to the line.
      const char* lineEnd = at > lineStart && at[-1] == '\r' ? at - 1 : at;
      if (lineTooLong(lineEnd)) scan.needsQuotedPrintable = true;
      lineStart = at + 1;
    } else if (byte == '\0' || (byte == '\r' && (at + 1 == end || at[1] != '\n'))) {
      scan.needsQuotedPrintable = true;
    }
  };
  const char* at = text.data();
  for (; end - at >= 8; at += 8) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if (((word | HasZeroByte(word) | HasZeroByte(word ^ (kEveryByte * '\n')) |
          HasZeroByte(word ^ (kEveryByte * '\r'))) & kHighBits) == 0) {
      continue;
    }
    for (int i = 0; i < 8; ++i) scanByte(at + i);
  }
  for (; at < end; ++at) scanByte(at);
  if (lineTooLong(end)) scan.needsQuotedPrintable = true;
  return scan;
}

bool NeedsQuotedPrintable(std::string_view text) { return ScanText(text).needsQuotedPrintable; }

const char* TransferEncodingOf(const TextScan& scan) {
  return scan.needsQuotedPrintable ? "quoted-printable" : "8bit";
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
