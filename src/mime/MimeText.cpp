// Decoding never fails: a malformed escape or encoded word is kept as it
// came, so a sloppy sender loses at worst the decoding, never the text.
#include "mime/MimeText.h"

#include <cctype>
#include <string>

#include "mime/Base64.h"
#include "platform/CodePages.h"

namespace quorvel {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "=XY" at `at`: the byte, or -1.
int Escape(std::string_view text, size_t at) {
  if (at + 2 >= text.size()) return -1;
  const int high = HexValue(text[at + 1]);
  const int low = HexValue(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string DecodeBase64Text(std::string_view text) {
  std::string bytes((text.size() + 3) / 4 * 3, '\0');
  size_t length = 0;
  Base64Decode(text, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), length);
  bytes.resize(length);
  return bytes;
}

// "Q" encoding: "_" is a space, "=XY" a byte.
std::string DecodeQ(std::string_view text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    const int escaped = text[i] == '=' ? Escape(text, i) : -1;
    if (escaped >= 0) {
      result += static_cast<char>(escaped);
      i += 2;
    } else {
      result += text[i] == '_' ? ' ' : text[i];
    }
  }
  return result;
}

// The encoded word starting at `at` ("=?charset?B|Q?text?="): its decoded
// text and its end, or false.
bool EncodedWordAt(std::string_view text, size_t at, std::string& decoded, size_t& end) {
  if (text.compare(at, 2, "=?") != 0) return false;
  const size_t q1 = text.find('?', at + 2);
  if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?') return false;
  const size_t close = text.find("?=", q1 + 3);
  if (close == std::string_view::npos) return false;
  std::string_view charset = text.substr(at + 2, q1 - at - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[q1 + 1])));
  const std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
  if (encoding != 'B' && encoding != 'Q') return false;
  if (payload.find_first_of(" \t\r\n") != std::string_view::npos) return false;
  const std::string bytes = encoding == 'B' ? DecodeBase64Text(payload) : DecodeQ(payload);
  decoded = ToLibraryText(bytes, charset);
  end = close + 2;
  return true;
}

}  // namespace

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

uint32_t CodePageForCharset(std::string_view charset) {
  const std::string name = LowerCase(charset);
  if (name == "utf-8" || name == "utf8") return platform::kCodePageUtf8;
  if (name == "us-ascii" || name == "ascii") return 20127;
  if (name.rfind("iso-8859-", 0) == 0) {
    const int part = std::atoi(name.c_str() + 9);
    if (part >= 1 && part <= 16) return static_cast<uint32_t>(28590 + part);
  }
  if (name.rfind("windows-", 0) == 0) {
    const int page = std::atoi(name.c_str() + 8);
    if (page >= 874 && page <= 1258) return static_cast<uint32_t>(page);
  }
  if (name == "koi8-r") return 20866;
  if (name == "koi8-u") return 21866;
  if (name == "gb2312" || name == "gbk") return 936;
  if (name == "gb18030") return 54936;
  if (name == "big5") return 950;
  if (name == "shift_jis" || name == "shift-jis") return 932;
  if (name == "euc-jp") return 20932;
  if (name == "euc-kr") return 51949;
  if (name == "iso-2022-jp") return 50222;
  if (name == "utf-16") return 1200;
  return platform::kCodePageWestern;
}

bool IsLibraryCharset(std::string_view charset) {
  const uint32_t page = CodePageForCharset(charset);
  const uint32_t ansi = platform::AnsiCodePage();
  return page == ansi || (page == 20127 && ansi == platform::kCodePageUtf8);
}

std::string ToLibraryText(std::string_view bytes, std::string_view charset) {
  if (IsLibraryCharset(charset)) return std::string(bytes);
  const uint32_t page = CodePageForCharset(charset);
  const uint32_t ansi = platform::AnsiCodePage();
  const auto wide = platform::MultiByteToWide(page, bytes);
  if (!wide) return std::string(bytes);
  auto text = platform::WideToMultiByte(ansi, *wide);
  return text ? *text : std::string(bytes);
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      result += text[i];
      continue;
    }
    // A soft line break: "=" then optional blanks, then the line end.
    size_t next = i + 1;
    while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
    if (next < text.size() && (text[next] == '\r' || text[next] == '\n')) {
      if (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ++next;
      i = next;
      continue;
    }
    if (next == text.size()) break;
    const int escaped = Escape(text, i);
    if (escaped >= 0) {
      result += static_cast<char>(escaped);
      i += 2;
    } else {
      result += '=';
    }
  }
  return result;
}

std::string DecodeEncodedWords(std::string_view text) {
  std::string result;
  size_t at = 0;
  size_t pendingSpace = std::string_view::npos;  // blanks after an encoded word
  while (at < text.size()) {
    std::string decoded;
    size_t end = 0;
    if (EncodedWordAt(text, at, decoded, end)) {
      result += decoded;
      at = end;
      pendingSpace = result.size();
      continue;
    }
    const bool blank = text[at] == ' ' || text[at] == '\t';
    if (!blank && pendingSpace != std::string_view::npos) pendingSpace = std::string_view::npos;
    if (blank && pendingSpace != std::string_view::npos) {
      // Kept only if no encoded word follows.
      size_t after = at;
      while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
      if (EncodedWordAt(text, after, decoded, end)) {
        at = after;
        continue;
      }
      pendingSpace = std::string_view::npos;
    }
    result += text[at++];
  }
  return result;
}

std::string DecodeExtendedValue(std::string_view value) {
  const size_t first = value.find('\'');
  const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
  const std::string_view charset = second == std::string_view::npos ? "us-ascii" : value.substr(0, first);
  const std::string_view encoded = second == std::string_view::npos ? value : value.substr(second + 1);
  std::string bytes;
  for (size_t i = 0; i < encoded.size(); ++i) {
    const int high = encoded[i] == '%' && i + 2 < encoded.size() ? HexValue(encoded[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(encoded[i + 2]) : -1;
    if (low >= 0) {
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      bytes += encoded[i];
    }
  }
  return ToLibraryText(bytes, charset);
}

}  // namespace quorvel
