// Base64 and CRC-32 next to their references in interleaved rounds (ours,
// reference, ours, ...), so that load drift moves both alike: base64 over a
// buffer with the library's line layout against OpenSSL's EVP_EncodeBlock /
// EVP_DecodeBlock (no line breaks), the CRC against zlib's crc32. Rates are
// per byte of binary data on both sides. Prints one line per workload and
// round: "WORKLOAD OURS_GBPS REFERENCE_GBPS"; bench/run takes the medians.
// Usage: codec_bench [MEGABYTES] [ROUNDS]
#include <openssl/evp.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "exchange/Crc32.h"
#include "text/Base64.h"

namespace {

template <typename Work>
double Rate(size_t bytes, Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return static_cast<double>(bytes) / took.count() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  const size_t size = megabytes * 1000 * 1000 / 3 * 3;

  std::vector<uint8_t> raw(size);
  std::mt19937_64 random(42);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t value = random();
    std::memcpy(&raw[i], &value, 8);
  }
  // Every buffer is written once before timing: fresh pages cost more than
  // the work.
  std::string text;
  quorvel::Base64Encode(raw.data(), raw.size(), text);
  std::vector<uint8_t> decoded((text.size() + 3) / 4 * 3);
  std::vector<unsigned char> sslText(size / 3 * 4 + 8);
  std::vector<unsigned char> sslDecoded(size + 8);
  const int sslLength = EVP_EncodeBlock(sslText.data(), raw.data(), static_cast<int>(size));
  EVP_DecodeBlock(sslDecoded.data(), sslText.data(), sslLength);
  size_t length = 0;
  if (!quorvel::Base64Decode(text, decoded.data(), decoded.size(), length) || length != size ||
      std::memcmp(decoded.data(), raw.data(), size) != 0) {
    std::fprintf(stderr, "round trip failed\n");
    return 1;
  }

  volatile uint32_t sink = 0;
  for (int round = 0; round < rounds; ++round) {
    const double encode = Rate(size, [&] { quorvel::Base64EncodeTo(raw.data(), size, text.data()); });
    const double sslEncode = Rate(size, [&] {
      EVP_EncodeBlock(sslText.data(), raw.data(), static_cast<int>(size));
    });
    const double decode = Rate(size, [&] {
      quorvel::Base64Decode(text, decoded.data(), decoded.size(), length);
    });
    const double sslDecode = Rate(size, [&] {
      EVP_DecodeBlock(sslDecoded.data(), sslText.data(), sslLength);
    });
    const double crc = Rate(size, [&] { sink = quorvel::exchange::Crc32::Of(raw.data(), size); });
    const double zlibCrc = Rate(size, [&] {
      sink = static_cast<uint32_t>(crc32(0, raw.data(), static_cast<uInt>(size)));
    });
    std::printf("base64-encode %.3f %.3f\n", encode, sslEncode);
    std::printf("base64-decode %.3f %.3f\n", decode, sslDecode);
    std::printf("crc32 %.3f %.3f\n", crc, zlibCrc);
    std::fflush(stdout);
  }
  return sink == 0 ? 0 : 0;
}
