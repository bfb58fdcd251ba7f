// The tests' listening socket on Windows: a blocking listener whose accepted
// connections become the library's non-blocking, event-waited sockets.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/testing/LoopbackListener.h"

namespace quorvel::platform {

std::unique_ptr<LoopbackListener> LoopbackListener::Open(uint16_t port, bool ipv6) {
  if (!InitializeSockets()) return nullptr;
  const SOCKET socket = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return nullptr;
  sockaddr_storage local{};
  int size = 0;
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
  if (::bind(socket, reinterpret_cast<sockaddr*>(&local), size) != 0 ||
      ::listen(socket, 16) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    ::closesocket(socket);
    return nullptr;
  }
  const uint16_t bound = ipv6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&local)->sin_port;
  return std::unique_ptr<LoopbackListener>(
      new LoopbackListener(static_cast<intptr_t>(socket), ntohs(bound)));
}

LoopbackListener::~LoopbackListener() { ::closesocket(static_cast<SOCKET>(handle_)); }

std::unique_ptr<TimeoutSocket> LoopbackListener::Accept(uint32_t timeoutMilliseconds) {
  const SOCKET listening = static_cast<SOCKET>(handle_);
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(listening, &ready);
  timeval limit{static_cast<long>(timeoutMilliseconds / 1000),
                static_cast<long>(timeoutMilliseconds % 1000) * 1000};
  if (::select(0, &ready, nullptr, nullptr, &limit) <= 0) return nullptr;
  const SOCKET socket = ::accept(listening, nullptr, nullptr);
  if (socket == INVALID_SOCKET) return nullptr;
  return TimeoutSocket::Adopt(static_cast<intptr_t>(socket));
}

}  // namespace quorvel::platform
