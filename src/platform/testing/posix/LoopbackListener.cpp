// The tests' listening socket on POSIX: a blocking listener whose accepted
// connections become the library's non-blocking sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/testing/LoopbackListener.h"

namespace quorvel::platform {

std::unique_ptr<LoopbackListener> LoopbackListener::Open(uint16_t port, bool ipv6) {
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage local{};
  socklen_t size = 0;
  if (ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&local);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(port);
    address->sin6_addr = in6addr_loopback;
    size = sizeof *address;
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&local);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size = sizeof *address;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), size) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    ::close(fd);
    return nullptr;
  }
  const uint16_t bound = ipv6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&local)->sin_port;
  return std::unique_ptr<LoopbackListener>(new LoopbackListener(fd, ntohs(bound)));
}

LoopbackListener::~LoopbackListener() { ::close(static_cast<int>(handle_)); }

std::unique_ptr<TimeoutSocket> LoopbackListener::Accept(uint32_t timeoutMilliseconds) {
  const int listening = static_cast<int>(handle_);
  pollfd watched{listening, POLLIN, 0};
  if (::poll(&watched, 1, static_cast<int>(timeoutMilliseconds)) <= 0) return nullptr;
  const int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return TimeoutSocket::Adopt(fd);
}

}  // namespace quorvel::platform
