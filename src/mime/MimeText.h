// Decoding of the texts inside received messages: quoted-printable bodies,
// encoded words of header texts (RFC 2047), extended parameter values
// (RFC 2231), and the conversion of any charset to the library's 8-bit
// strings (the ANSI code page).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The text with ASCII letters in lower case (header names, types, labels).
std::string LowerCase(std::string_view text);

// The Windows code page of a MIME charset label; 1252 for unknown labels
// (it maps every byte, so nothing is lost).
uint32_t CodePageForCharset(std::string_view charset);
// Whether bytes in `charset` already are the library's 8-bit text, so that
// ToLibraryText gives them unchanged.
bool IsLibraryCharset(std::string_view charset);
// The bytes in `charset` as an 8-bit string of the ANSI code page.
std::string ToLibraryText(std::string_view bytes, std::string_view charset);

std::string DecodeQuotedPrintable(std::string_view text);
// Every encoded word decoded and converted; white space between two adjacent
// encoded words dropped; text that is not an encoded word kept as it is.
std::string DecodeEncodedWords(std::string_view text);
// "charset'language'percent-encoded" decoded and converted.
std::string DecodeExtendedValue(std::string_view value);

}  // namespace quorvel
