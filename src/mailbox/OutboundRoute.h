// OutboundRoute: how an item file leaves the machine, read from the text of
// one of its routes ("kind|field|field..."). A route is read only when it has
// exactly the number of fields of its kind; otherwise every field but the
// kind reads as empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

enum class RouteKind : uint32_t {
  kNone = 0,       // an unknown kind: never sends
  kSmtp = 1,       // recipient, host, port, sender address, code page, sender name
  kUnsupported = 2,  // two texts and a port: never sends
  kDirectory = 3,  // directory
  kNotes = 4,      // recipient, sender
  kMapi = 5,       // recipient
};

class OutboundRoute {
 public:
  explicit OutboundRoute(std::string_view text);

  RouteKind Kind() const { return kind_; }
  // Field `i` (1 is the first after the kind); empty when the route has no
  // such field or the wrong number of them.
  const std::string& Field(size_t i) const;
  // A field read as a decimal number as the kind is (0 without digits).
  int32_t NumberField(size_t i) const;

  // Kind 1: the sender name, decoded from UTF-8 and written in the code page
  // of field 5 (empty when that page is unknown).
  std::string SenderName() const;

 private:
  RouteKind kind_ = RouteKind::kNone;
  std::vector<std::string> fields_;  // index 0 is the kind's text
};

// Leading white space, an optional sign, then decimal digits up to the first
// other character; 0 without digits (as C's atoi reads).
int32_t LeadingDecimal(std::string_view text);

// UTF-8 read as the routes' writers made it: two- and three-byte sequences
// become one code unit each, every other byte (ASCII, a stray continuation
// byte, a four-byte lead, a sequence cut off by the end) one code unit of
// its own value.
std::u16string WideFromRouteUtf8(std::string_view text);

}  // namespace quorvel
