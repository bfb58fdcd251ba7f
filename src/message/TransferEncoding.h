// The transfer encoding of an outgoing text part: 8bit as long as the text
// is fit for it, quoted-printable when a line is too long for SMTP or the
// text holds a NUL or a CR that ends no line.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The longest line that 8bit text may carry, without its CR LF.
inline constexpr size_t kMaxEightBitLine = 998;

// What one pass over a text finds: a message's text is looked at once per
// composing, however many of its lines depend on these answers.
struct TextScan {
  bool eightBit = false;              // some byte is above 0x7F
  bool needsQuotedPrintable = false;  // the text cannot go out as 8bit
};

TextScan ScanText(std::string_view text);
// True when the text cannot go out as 8bit.
bool NeedsQuotedPrintable(std::string_view text);
// "8bit" or "quoted-printable", as the scanned text needs.
const char* TransferEncodingOf(const TextScan& scan);
// The text quoted-printable, lines of at most 76 characters; its line ends
// (LF or CR LF) become CR LF, and a last line without one gets none.
std::string EncodeQuotedPrintable(std::string_view text);

}  // namespace quorvel
