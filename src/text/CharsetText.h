// Received text in any charset turned into the library's text: the ANSI code
// page of the system (UTF-8 on POSIX), which is the code page of the mail
// records the receive functions hand to the host. A label that no converter
// of the system knows, no label, and an ASCII label on 8-bit bytes: valid
// UTF-8 is read as UTF-8, anything else as Windows-1252, which maps every
// byte, so nothing is lost; an unknown label is logged.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

bool IsValidUtf8(std::string_view bytes);
// True when some byte of the text is above 0x7F.
bool HasEightBitBytes(std::string_view text);

// The bytes in `charset` as UTF-16.
std::u16string CharsetTextToWide(std::string_view bytes, std::string_view charset);
// Whether the bytes in `charset` already are the library's text, so that
// ToLibraryText gives them unchanged.
bool IsLibraryText(std::string_view bytes, std::string_view charset);
// The bytes in `charset` as an 8-bit string of the ANSI code page.
std::string ToLibraryText(std::string_view bytes, std::string_view charset);

// Single-byte text whose bytes 0xA0..0xFF are the characters of `highHalf`.
std::u16string HighHalfTextToWide(std::string_view bytes, const char16_t* highHalf);

// ISO-2022-JP carried over to Shift_JIS (code page 932) character for
// character: JIS X 0208 pairs and the half-width katakana; the escape
// sequences and shifts go.
std::string ShiftJisFromIso2022Jp(std::string_view bytes);

}  // namespace quorvel
