// The tagged rich-text markup of message texts: the vocabulary of attributes
// (registered once per process), the state of attribute values while a text is
// written, and the tag that brings the written values up to date. Texts are
// UTF-16 with tags in angle brackets; this library writes tags, never parses
// them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "quorvel/WideString.h"

namespace quorvel::exchange {

enum class AttributeForm : uint8_t {
  Number = 0,      // one decimal number
  ThreeBytes = 1,  // bits 16-23, 8-15 and 0-7 as three decimal numbers
  Invalid = 255,
};

struct AttributeDefinition {
  WideString name;
  WideString defaultText;  // empty for every attribute
  AttributeForm form = AttributeForm::Invalid;
  uint16_t index = 0;
  uint16_t reserved = 0;
};

// Indexes of the attributes, in registration order.
enum MarkupAttribute : uint16_t {
  kAttributeCodePage = 0,  // "Cp"
  kAttributeTextColour,    // "TCo"
  kAttributeBackColour,    // "BCo"
  kAttributeHeight,        // "H"
  kAttributeBold,          // "B"
  kAttributeItalic,        // "I"
  kAttributeUnderline,     // "U"
  kAttributePitch,         // "P"
  kAttributeCount
};

inline constexpr int32_t kAttributeUnset = 0x7FFFFFFF;
inline constexpr uint16_t kInvalidAttributeIndex = 65535;

// Which value SetAttribute sets; both bits may be given.
inline constexpr uint32_t kSetWritten = 1;
inline constexpr uint32_t kSetCurrent = 2;

// The definition named `name`, or the sentinel "*Invalid*" (index 65535).
const AttributeDefinition& LookupAttribute(std::u16string_view name);

// Current and last written value of every attribute. A new state has every
// value unset; the process-wide default state holds the default values as its
// current ones. Constructing the first state registers the vocabulary.
class MarkupState {
 public:
  MarkupState();
  MarkupState(const MarkupState&) = default;
  MarkupState& operator=(const MarkupState&) = default;
  virtual ~MarkupState() = default;

  virtual char16_t Opener() const { return u'<'; }
  virtual char16_t Closer() const { return u'>'; }
  virtual char16_t Escape() const { return u'\\'; }
  virtual const std::vector<AttributeDefinition>& Vocabulary() const;

  // The state whose current values are the defaults ("Cp" 1252, "BCo"
  // 0xFFFFFF, "H" -16, the others 0).
  static const MarkupState& Default();

  int32_t Current(uint16_t index) const { return current_[index]; }
  int32_t Written(uint16_t index) const { return written_[index]; }

 private:
  friend void SetAttribute(MarkupState& state, uint16_t index, int32_t value, uint32_t which);
  friend WideString AttributeTag(MarkupState& state, bool update);

  std::vector<int32_t> current_;
  std::vector<int32_t> written_;
};

// Sets the current (kSetCurrent) and/or written (kSetWritten) value of the
// attribute at `index`; an index outside the vocabulary changes nothing.
void SetAttribute(MarkupState& state, uint16_t index, int32_t value, uint32_t which);
// "<" + name and value of every attribute whose current value differs from
// its written one + ">", or the empty text when none differs. With `update`
// the written values become the current ones.
WideString AttributeTag(MarkupState& state, bool update);
// 8-bit text in `codePage` as markup: the tag naming the code page, then the
// text in UTF-16.
WideString TextToMarkup(std::string_view text, uint16_t codePage);

}  // namespace quorvel::exchange
