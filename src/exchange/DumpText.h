// Texts of the dumps: values as a person reads them. In the header: the
// tool's host commands use them without the library's core.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/CodePages.h"
#include "text/QuotedText.h"

namespace quorvel::exchange {

// "0x" and eight hexadecimal digits.
inline std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// The text in UTF-8 as QuotedText shows it.
inline std::string Quoted(std::u16string_view units) {
  return QuotedText(platform::WideToMultiByte(platform::kCodePageUtf8, units).value_or(""));
}

// "YYYY-MM-DD hh:mm:ss UTC" of seconds since 1970.
inline std::string Date(uint32_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds(seconds)};
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(time - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld UTC", int(date.year()),
                unsigned(date.month()), unsigned(date.day()),
                static_cast<long long>(clock.hours().count()),
                static_cast<long long>(clock.minutes().count()),
                static_cast<long long>(clock.seconds().count()));
  return text;
}

}  // namespace quorvel::exchange
