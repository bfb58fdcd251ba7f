// The base64 decoder on any text, with the capacity it asks for and one
// byte less; and the encoder's output decoded back to the input.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzScratch.h"
#include "text/Base64.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t characters = text.substr(0, text.find('\0')).size();
  const size_t needed = (characters + 3) / 4 * 3;
  std::vector<uint8_t> out(needed + 1);
  size_t length = 0;
  Base64Decode(text, out.data(), needed, length);
  fuzz::Require(length <= needed, "decoded more than the capacity");
  if (needed > 0) {
    length = 12345;
    fuzz::Require(!Base64Decode(text, out.data(), needed - 1, length),
                  "a capacity below the bound is refused");
  }

  std::string encoded;
  Base64Encode(data, size, encoded);
  fuzz::Require(encoded.size() == Base64EncodedLength(size), "encoded length as announced");
  std::vector<uint8_t> back(encoded.size() / 4 * 3 + 3);
  fuzz::Require(Base64Decode(encoded, back.data(), back.size(), length), "own encoding is clean");
  fuzz::Require(length == size && std::equal(data, data + size, back.begin()),
                "decoding the encoding gives the bytes back");
  return 0;
}
