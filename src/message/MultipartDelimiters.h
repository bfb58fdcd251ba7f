// The delimiter lines of a multipart body: "--boundary" at a line start,
// then "--" (the closing one) or only blanks to the line end. The line end
// before a delimiter belongs to it. Parts are found one at a time, so that
// a reader can look for the end of a part while it reads the part.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

struct DelimiterLine {
  size_t at = std::string_view::npos;  // npos: there is none
  bool closing = false;
  size_t next = 0;  // where the part after it starts
};

// The first delimiter line of `delimiter` ("--" and the boundary) starting
// at or after `from`.
DelimiterLine FindDelimiterLine(std::string_view body, std::string_view delimiter, size_t from);

// The part from `start` up to a delimiter line at `delimiterAt` (npos: to
// the end of the body), without the line end that belongs to the delimiter.
std::string_view PartBefore(std::string_view body, size_t start, size_t delimiterAt);

}  // namespace quorvel
