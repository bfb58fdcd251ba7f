// The header block of a received message or part: unfolded fields found by
// whole, case-insensitive names, structured values (type and parameters,
// with RFC 2231 continuations and charsets), and address lists. Sizes are
// bounded so that hostile input costs no more than its own length.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

// Bounds of one header block.
inline constexpr size_t kMaxHeaderFields = 1000;
inline constexpr size_t kMaxHeaderValue = 64 * 1024;

// An entity cut at its first empty line (CR LF or LF line ends).
struct Entity {
  std::string_view headers;
  std::string_view body;
};
Entity SplitEntity(std::string_view text);

class MimeHeaders {
 public:
  explicit MimeHeaders(std::string_view block);

  // The unfolded value of the first field of that name (any case), or null.
  const std::string* Find(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, std::string>> fields_;  // lower-case names
};

// "type/subtype; name=value; ..." with its parameters.
class StructuredValue {
 public:
  explicit StructuredValue(std::string_view value);

  const std::string& type() const { return type_; }  // lower case
  // The parameter decoded (RFC 2231 and RFC 2047 forms); "" when absent.
  std::string Param(std::string_view name) const;

 private:
  std::string type_;
  std::vector<std::pair<std::string, std::string>> params_;  // lower-case names
};

// The addresses of an address list ("Name <a@b>, c@d (comment)").
std::vector<std::string> AddressList(std::string_view value);

}  // namespace quorvel
