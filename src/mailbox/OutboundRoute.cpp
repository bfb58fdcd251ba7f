#include "mailbox/OutboundRoute.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text/WideText.h"

namespace quorvel {

namespace {

// The number of fields, the kind included, of a route of each kind.
constexpr std::array<size_t, 6> kFieldCounts = {0, 7, 4, 2, 3, 2};

std::vector<std::string> SplitFields(std::string_view text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find('|', start);
    fields.emplace_back(text.substr(start, bar - start));
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

}  // namespace

int32_t LeadingDecimal(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Too many digits saturate rather than overflow.
  constexpr int64_t kLimit = int64_t{1} << 31;
  int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = std::min<int64_t>(value * 10 + (text[at] - '0'), kLimit);
  }
  return static_cast<int32_t>(negative ? -value : std::min<int64_t>(value, INT32_MAX));
}

std::u16string WideFromRouteUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    const size_t left = text.size() - at;
    if ((lead & 0xE0) == 0xC0 && left >= 2) {
      wide.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (byte(at + 1) & 0x3F)));
      at += 2;
    } else if ((lead & 0xF0) == 0xE0 && left >= 3) {
      wide.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((byte(at + 1) & 0x3F) << 6) |
                                           (byte(at + 2) & 0x3F)));
      at += 3;
    } else {
      wide.push_back(static_cast<char16_t>(lead));
      at += 1;
    }
  }
  return wide;
}

OutboundRoute::OutboundRoute(std::string_view text) : fields_(SplitFields(text)) {
  // Kinds of 7 and more count as 0; 0 and 6 have no layout: neither sends.
  const int32_t kind = LeadingDecimal(fields_[0]);
  if (kind < 1 || kind >= static_cast<int32_t>(kFieldCounts.size())) return;
  kind_ = static_cast<RouteKind>(kind);
  if (fields_.size() != kFieldCounts[static_cast<size_t>(kind)]) fields_.resize(1);
}

const std::string& OutboundRoute::Field(size_t i) const {
  static const std::string kEmpty;
  return i < fields_.size() ? fields_[i] : kEmpty;
}

int32_t OutboundRoute::NumberField(size_t i) const { return LeadingDecimal(Field(i)); }

std::string OutboundRoute::SenderName() const {
  const int32_t codePage = NumberField(5);
  if (codePage < 0) return std::string();
  return exchange::MultiByteFromWide(WideFromRouteUtf8(Field(6)), static_cast<uint32_t>(codePage));
}

}  // namespace quorvel
