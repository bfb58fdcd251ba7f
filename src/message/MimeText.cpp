// Decoding never fails: a malformed escape or encoded word is kept as it
// came, so a sloppy sender loses at worst the decoding, never the text.
#include "message/MimeText.h"

#include <cctype>
#include <optional>
#include <string>

#include "text/Base64.h"
#include "text/CharsetNames.h"

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

// An encoded word ("=?charset?B|Q?text?=") without its conversion.
struct EncodedWord {
  std::string_view charset;
  std::string bytes;
  size_t end = 0;
};

// The encoded word starting at `at`, if one does.
std::optional<EncodedWord> EncodedWordAt(std::string_view text, size_t at) {
  if (text.compare(at, 2, "=?") != 0) return std::nullopt;
  const size_t q1 = text.find('?', at + 2);
  if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?') {
    return std::nullopt;
  }
  const size_t close = text.find("?=", q1 + 3);
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view charset = text.substr(at + 2, q1 - at - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[q1 + 1])));
  const std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
  if (encoding != 'B' && encoding != 'Q') return std::nullopt;
  if (payload.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
  return EncodedWord{charset, encoding == 'B' ? DecodeBase64Text(payload) : DecodeQ(payload),
                     close + 2};
}

}  // namespace

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
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
  std::string plain;  // text outside encoded words, not yet converted
  std::string words;  // the bytes of adjacent encoded words of one charset
  std::optional<std::string> wordsCharset;
  const auto flushPlain = [&] {
    result += ToLibraryText(plain, {});
    plain.clear();
  };
  const auto flushWords = [&] {
    if (wordsCharset) result += ToLibraryText(words, *wordsCharset);
    words.clear();
    wordsCharset.reset();
  };
  size_t at = 0;
  while (at < text.size()) {
    if (auto word = EncodedWordAt(text, at)) {
      flushPlain();
      if (wordsCharset &&
          NormalisedCharsetLabel(*wordsCharset) != NormalisedCharsetLabel(word->charset)) {
        flushWords();
      }
      wordsCharset = std::string(word->charset);
      words += word->bytes;
      at = word->end;
      // Blanks between two encoded words go.
      size_t after = at;
      while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
      if (after > at && EncodedWordAt(text, after)) at = after;
      continue;
    }
    flushWords();
    plain += text[at++];
  }
  flushWords();
  flushPlain();
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
