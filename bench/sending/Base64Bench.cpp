// Base64 over a 100 MB buffer with the library's line layout, next to
// OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock (no line breaks) and memcpy,
// all in the same run. Usage: base64_bench [megabytes] [rounds]
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mime/Base64.h"

namespace {

// Best of `rounds` runs, in GB/s of input (encode: raw bytes; decode: text).
double BestRate(size_t bytes, int rounds, const std::function<void()>& work) {
  double best = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::max(best, static_cast<double>(bytes) / took.count() / 1e9);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const size_t size = megabytes * 1000 * 1000;

  std::vector<uint8_t> raw(size);
  std::mt19937_64 random(42);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t value = random();
    std::memcpy(&raw[i], &value, 8);
  }
  std::vector<uint8_t> copy(size);
  std::string text;
  quorvel::Base64Encode(raw.data(), raw.size(), text);  // sizes and touches the buffer
  std::vector<uint8_t> decoded((text.size() + 3) / 4 * 3);
  std::vector<unsigned char> sslText(size / 3 * 4 + 8);
  std::vector<unsigned char> sslDecoded(size + 8);
  const size_t sslInput = size / 3 * 3;
  const int sslTextLength = EVP_EncodeBlock(sslText.data(), raw.data(), static_cast<int>(sslInput));

  const double memcpyRate = BestRate(size, rounds, [&] { std::memcpy(copy.data(), raw.data(), size); });
  const double encodeRate = BestRate(size, rounds, [&] { quorvel::Base64Encode(raw.data(), raw.size(), text); });
  const double sslEncodeRate = BestRate(sslInput, rounds, [&] {
    EVP_EncodeBlock(sslText.data(), raw.data(), static_cast<int>(sslInput));
  });
  size_t length = 0;
  bool clean = true;
  const double decodeRate = BestRate(text.size(), rounds, [&] {
    clean = quorvel::Base64Decode(text, decoded.data(), decoded.size(), length) && clean;
  });
  const double sslDecodeRate = BestRate(static_cast<size_t>(sslTextLength), rounds, [&] {
    EVP_DecodeBlock(sslDecoded.data(), sslText.data(), sslTextLength);
  });
  if (!clean || length != size || std::memcmp(decoded.data(), raw.data(), size) != 0) {
    std::fprintf(stderr, "round trip failed\n");
    return 1;
  }

  std::printf("buffer %zu MB, best of %d rounds\n", megabytes, rounds);
  std::printf("memcpy                    %6.2f GB/s\n", memcpyRate);
  std::printf("Base64Encode (72+CRLF)    %6.2f GB/s of input   %.2fx OpenSSL  %.2fx memcpy\n",
              encodeRate, encodeRate / sslEncodeRate, encodeRate / memcpyRate);
  std::printf("EVP_EncodeBlock           %6.2f GB/s of input\n", sslEncodeRate);
  std::printf("Base64Decode (72+CRLF)    %6.2f GB/s of text    %.2fx OpenSSL  %.2fx memcpy\n",
              decodeRate, decodeRate / sslDecodeRate, decodeRate / memcpyRate);
  std::printf("EVP_DecodeBlock           %6.2f GB/s of text\n", sslDecodeRate);
  return 0;
}
