// The WideString operations that need the library: conversion from and to
// 8-bit text in a Windows code page, case-insensitive lookup in a list and
// formatting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

// 8-bit text in `codePage` as UTF-16 (precomposed characters). An empty
// source, or a code page the system does not know, gives the empty string.
WideString WideFromMultiByte(std::string_view text, uint32_t codePage);
// The text in `codePage`; characters the page cannot show become '?'.
std::string MultiByteFromWide(std::u16string_view text, uint32_t codePage);

// A CodedText made from 8-bit text in `codePage`, and back with its own page.
CodedText CodedTextFromMultiByte(std::string_view text, uint16_t codePage);
std::string MultiByteOf(const CodedText& coded);

// Index of the first string equal to `text` without regard to case (ASCII and
// Latin-1 letters); -1 when there is none.
int32_t FindNoCase(const std::vector<WideString>& list, std::u16string_view text);

// printf-style formatting into at most kMaxFormattedUnits code units; the
// format and the text arguments are UTF-8.
inline constexpr size_t kMaxFormattedUnits = 8192;
WideString FormatWide(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvel::exchange
