// The domain must be a dot-atom of letters, digits, "-" and "."; anything
// else (an address without "@", a domain literal, a typing error) takes the
// local host name, which is checked the same way.
#include "message/MessageId.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/Clock.h"
#include "platform/Sockets.h"

namespace quorvel {

namespace {

bool IsDotAtomDomain(std::string_view domain) {
  if (domain.empty() || domain.front() == '.' || domain.back() == '.') return false;
  for (const char c : domain) {
    const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '-' && c != '.') return false;
  }
  return domain.find("..") == std::string_view::npos;
}

std::string DomainFor(std::string_view address) {
  const size_t at = address.rfind('@');
  if (at != std::string_view::npos && IsDotAtomDomain(address.substr(at + 1))) {
    return std::string(address.substr(at + 1));
  }
  const std::string host = platform::LocalHostName();
  return IsDotAtomDomain(host) ? host : "localhost";
}

uint64_t ProcessRandom() {
  static const uint64_t value = [] {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  }();
  return value;
}

}  // namespace

std::string NewMessageId(std::string_view senderAddress) {
  static std::atomic<uint64_t> counter{0};
  char unique[64];
  std::snprintf(unique, sizeof unique, "%x.%llx.%016llx", platform::UtcSecondsNow(),
                static_cast<unsigned long long>(counter.fetch_add(1)),
                static_cast<unsigned long long>(ProcessRandom()));
  return "<" + std::string(unique) + "@" + DomainFor(senderAddress) + ">";
}

}  // namespace quorvel
