// Decoding of the texts inside received messages: quoted-printable bodies,
// encoded words of header texts (RFC 2047), extended parameter values
// (RFC 2231), each converted from its charset to the library's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/CharsetText.h"

namespace quorvel {

// The text with ASCII letters in lower case (header names, types, labels).
std::string LowerCase(std::string_view text);

std::string DecodeQuotedPrintable(std::string_view text);
// Every encoded word decoded and converted, adjacent words of one charset
// together (a sender may cut a character between them); white space between
// two adjacent encoded words dropped; 8-bit text outside encoded words read
// as text without a charset.
std::string DecodeEncodedWords(std::string_view text);
// "charset'language'percent-encoded" decoded and converted.
std::string DecodeExtendedValue(std::string_view value);

}  // namespace quorvel
