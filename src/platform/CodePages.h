// Conversion between 8-bit text in a Windows code page and UTF-16, as
// MultiByteToWideChar and WideCharToMultiByte do it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::platform {

inline constexpr uint32_t kCodePageAnsi = 0;  // the system's ANSI code page
inline constexpr uint32_t kCodePageUtf8 = 65001;
inline constexpr uint32_t kCodePageWestern = 1252;

// The ANSI code page of the system: 65001 (UTF-8) on POSIX.
uint32_t AnsiCodePage();

// Empty when the code page is unknown. Invalid bytes become U+FFFD in UTF-8 and
// the page's default character elsewhere, as Windows converts them.
std::optional<std::u16string> MultiByteToWide(uint32_t codePage, std::string_view bytes);
// Characters the page cannot show become '?'. Empty when the page is unknown.
std::optional<std::string> WideToMultiByte(uint32_t codePage, std::u16string_view text);
// Text in a charset that the system's converter knows by its name
// ("ISO-8859-10", "UTF-7"), converted as MultiByteToWide converts. Empty
// where no converter knows the name: always on Windows, whose converter goes
// by code pages only.
std::optional<std::u16string> NamedCharsetToWide(std::string_view name, std::string_view bytes);

}  // namespace quorvel::platform
