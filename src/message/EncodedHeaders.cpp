// Multi-byte charsets must not have a character cut between two encoded
// words or two parameter sections: readers decode each word on its own.
// UTF-8 is cut by its lead bytes, the double-byte Asian charsets after a
// lead byte's second byte; every other charset is one byte per character.
#include "message/EncodedHeaders.h"

#include "text/Base64.h"
#include "message/MimeText.h"

namespace quorvel {

namespace {

constexpr size_t kMaxEncodedWord = 75;

bool IsDoubleByteCharset(const std::string& charset) {
  return charset == "gb2312" || charset == "gbk" || charset == "big5" ||
         charset == "shift_jis" || charset == "euc-kr";
}

// The length of the character that starts at `at`.
size_t CharacterLength(const std::string& charset, std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 1;
  if (charset == "utf-8") {
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
  } else if (IsDoubleByteCharset(charset) && lead >= 0x81) {
    length = 2;
  }
  return std::min(length, text.size() - at);
}

std::string Base64Text(std::string_view bytes) {
  std::string encoded;
  Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoded);
  if (encoded.ends_with("\r\n")) encoded.resize(encoded.size() - 2);
  return encoded;
}

bool IsAttributeCharacter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string PercentEncoded(std::string_view character) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : character) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsAttributeCharacter(byte)) {
      out += c;
    } else {
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

}  // namespace

std::string EncodedWords(std::string_view text, std::string_view charset, size_t used,
                         size_t reserved) {
  const std::string label = LowerCase(charset);
  const size_t overhead = charset.size() + 7;  // "=?" charset "?B?" ... "?="
  std::string out;
  size_t lineStart = used;
  for (size_t at = 0; at < text.size();) {
    const size_t room = kMaxHeaderLine - std::min(kMaxHeaderLine, lineStart + reserved);
    const size_t width = std::min(kMaxEncodedWord, room);
    const size_t most = width > overhead ? (width - overhead) / 4 * 3 : 0;
    // At least one character per word, however narrow the line.
    size_t end = at + CharacterLength(label, text, at);
    while (end < text.size() && end + CharacterLength(label, text, end) - at <= most) {
      end += CharacterLength(label, text, end);
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?" + std::string(charset) + "?B?" + Base64Text(text.substr(at, end - at)) + "?=";
    at = end;
    lineStart = 1;
  }
  return out;
}

std::string ExtendedParameter(std::string_view name, std::string_view value,
                              std::string_view charset) {
  const std::string label = LowerCase(charset);
  const std::string start = std::string(charset) + "''";
  std::string whole = start;
  for (size_t at = 0; at < value.size(); at += CharacterLength(label, value, at)) {
    whole += PercentEncoded(value.substr(at, CharacterLength(label, value, at)));
  }
  if (1 + name.size() + 2 + whole.size() <= kMaxHeaderLine) {
    return "\t" + std::string(name) + "*=" + whole;
  }
  std::string out;
  std::string section = start;
  int number = 0;
  const auto close = [&] {
    if (!out.empty()) out += ";\r\n";
    out += "\t" + std::string(name) + "*" + std::to_string(number++) + "*=" + section;
    section.clear();
  };
  for (size_t at = 0; at < value.size();) {
    const size_t length = CharacterLength(label, value, at);
    const std::string piece = PercentEncoded(value.substr(at, length));
    const size_t prefix = 1 + name.size() + std::to_string(number).size() + 3;
    // Room for the ";" that ends every section but the last.
    if (!section.empty() && section != start &&
        prefix + section.size() + piece.size() + 1 > kMaxHeaderLine) {
      close();
    }
    section += piece;
    at += length;
  }
  close();
  return out;
}

}  // namespace quorvel
