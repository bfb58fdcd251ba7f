// Code pages are the system's own: MultiByteToWideChar, WideCharToMultiByte
// and GetACP. Characters a page cannot show become its default character
// ('?'), never a look-alike ("best fit"), so that a conversion never turns
// text into other text.
#include <windows.h>

#include <climits>

#include "platform/CodePages.h"

namespace quorvel::platform {

namespace {

uint32_t Resolve(uint32_t codePage) { return codePage == kCodePageAnsi ? AnsiCodePage() : codePage; }

}  // namespace

uint32_t AnsiCodePage() { return ::GetACP(); }

std::optional<std::u16string> MultiByteToWide(uint32_t codePage, std::string_view bytes) {
  const UINT page = Resolve(codePage);
  if (!::IsValidCodePage(page) || bytes.size() > INT_MAX) return std::nullopt;
  if (bytes.empty()) return std::u16string();
  const int length = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(page, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::u16string wide(static_cast<size_t>(needed), u'\0');
  ::MultiByteToWideChar(page, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                        needed);
  return wide;
}

std::optional<std::u16string> NamedCharsetToWide(std::string_view, std::string_view) {
  return std::nullopt;
}

std::optional<std::string> WideToMultiByte(uint32_t codePage, std::u16string_view text) {
  const UINT page = Resolve(codePage);
  if (!::IsValidCodePage(page) || text.size() > INT_MAX) return std::nullopt;
  if (text.empty()) return std::string();
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // UTF-7, UTF-8 and the stateful pages refuse the flag (and never fit).
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int needed = ::WideCharToMultiByte(page, flags, units, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    needed = ::WideCharToMultiByte(page, flags, units, length, nullptr, 0, nullptr, nullptr);
  }
  if (needed <= 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(page, flags, units, length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

}  // namespace quorvel::platform
