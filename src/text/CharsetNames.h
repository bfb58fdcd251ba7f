// The charset labels of received mail, as real mail writes them, and what
// reads each: the Windows code pages that hold it (best first), or the name
// under which a converter that goes by names knows it. Both platforms read
// labels through this one table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

enum class CharsetKind {
  kUndeclared,  // no label, or ASCII: the bytes say what they are
  kUtf8,
  kListed,      // in the table
  kUnlisted,    // a label the table does not know
};

struct CharsetInfo {
  CharsetKind kind = CharsetKind::kUnlisted;
  // The code pages to try in order; 0 ends the list.
  std::array<uint32_t, 3> codePages{};
  // The charset's name for converters that go by names ("ISO-8859-10"),
  // tried after the code pages; for an unlisted label, the label itself.
  std::string name;
  // ISO-2022-JP: where no code page reads it, its characters are carried
  // over to Shift_JIS (code page 932), which every Windows has.
  bool viaShiftJis = false;
  // ISO-8859-10, -14 and -16, which Windows has no code page for: the
  // characters of bytes 0xA0..0xFF (every byte below is its own), read
  // where no converter knows the name.
  const char16_t* highHalf = nullptr;
};

// The label in lower case, without blanks or quotes around it, every "_"
// a "-", and without "x-" prefixes.
std::string NormalisedCharsetLabel(std::string_view label);

CharsetInfo LookUpCharset(std::string_view label);

}  // namespace quorvel
