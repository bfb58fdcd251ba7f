// Texts of the dumps: values as a person reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::exchange {

// "0x" and eight hexadecimal digits.
std::string Hex32(uint32_t value);
// The text in UTF-8 as QuotedText shows it.
std::string Quoted(std::u16string_view units);
// "YYYY-MM-DD hh:mm:ss UTC" of seconds since 1970.
std::string Date(uint32_t seconds);

}  // namespace quorvel::exchange
