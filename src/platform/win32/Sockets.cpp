// Windows sockets that a thread message cancels. Sockets are non-blocking;
// a blocking call waits in MsgWaitForMultipleObjects on the socket's event
// and on the thread's message queue, so that the thread message 0x0401
// posted to it (by the host or by PostSocketCancel) ends the wait, closes
// the socket and fails the call. A cancel posted while the thread does not
// wait stays in its queue until its next blocking call. The queue is the
// system's: it exists once the thread has called InitializeSockets or made
// a socket, and ends with the thread.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>


#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "platform/TlsSession.h"

namespace quorvel::platform {

namespace {

constexpr UINT kCancelMessage = 0x0401;  // WM_USER + 1
constexpr int kReadable = 1;
constexpr int kWritable = 2;

SOCKET SocketOf(intptr_t handle) { return static_cast<SOCKET>(handle); }

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// Gives the calling thread its message queue: a thread has one from its
// first call of a message function.
void EnsureMessageQueue() {
  MSG message;
  ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}

// Whether the socket is ready now (or has failed, which the next call reports).
bool IsReady(SOCKET socket, int events) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval now{0, 0};
  const int count = ::select(0, events == kReadable ? &ready : nullptr,
                             events == kWritable ? &ready : nullptr, &failed, &now);
  return count != 0;
}

std::optional<in_addr> ResolveIpv4(const std::string& host) {
  in_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return address;
}

}  // namespace

bool InitializeSockets() {
  EnsureMessageQueue();
  return StartWinsock();
}

// The thread message queues are the system's; a context needs to hold none.
void OpenCancelQueue(uint32_t threadId) {
  if (threadId == ::GetCurrentThreadId()) EnsureMessageQueue();
}
void CloseCancelQueue(uint32_t) {}
void ReleaseCancelQueues() {}

bool PostSocketCancel(uint32_t threadId) {
  // No thread has the id 0 (Wine would still take the message).
  return threadId != 0 && ::PostThreadMessageA(threadId, kCancelMessage, 0, 0) != 0;
}

TimeoutSocket::TimeoutSocket() = default;
TimeoutSocket::TimeoutSocket(intptr_t handle) : handle_(handle) {}

TimeoutSocket::~TimeoutSocket() {
  StopTimeout();
  TimeoutSocket::Close();
}

bool TimeoutSocket::Create() {
  Close();
  if (!InitializeSockets()) return false;
  receiveTimeoutOption_ = 0;
  return Reopen(AF_INET);
}

bool TimeoutSocket::Reopen(int family) {
  Close();
  tls_.reset();
  const SOCKET socket = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return false;
  if (!SetNonBlocking(socket)) {
    ::closesocket(socket);
    return false;
  }
  handle_ = static_cast<intptr_t>(socket);
  return receiveTimeoutOption_ == 0 || SetReceiveTimeoutOption(receiveTimeoutOption_);
}

bool TimeoutSocket::SetReceiveTimeoutOption(uint32_t milliseconds) {
  if (!HasHandle()) return false;
  receiveTimeoutOption_ = milliseconds;
  const DWORD limit = milliseconds;
  return ::setsockopt(SocketOf(handle_), SOL_SOCKET, SO_RCVTIMEO,
                      reinterpret_cast<const char*>(&limit), sizeof limit) == 0;
}

bool TimeoutSocket::SetNoDelay() {
  if (!HasHandle()) return false;
  const BOOL on = TRUE;
  return ::setsockopt(SocketOf(handle_), IPPROTO_TCP, TCP_NODELAY,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

// Each address in turn, IPv6 and IPv4, all within the one time-out: one that
// refuses or cannot be reached passes the turn to the next; the time-out and
// a cancel end the whole attempt.
bool TimeoutSocket::Connect(const std::string& host, uint16_t port) {
  if (CancelPosted() || !HasHandle()) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    return false;
  }
  bool connected = false;
  int family = AF_INET;
  bool fresh = true;  // the socket has not tried an address yet
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    if ((address->ai_family != family || !fresh) && !Reopen(address->ai_family)) break;
    family = address->ai_family;
    fresh = false;
    if (ConnectTo(address->ai_addr, static_cast<uint32_t>(address->ai_addrlen))) {
      connected = true;
      break;
    }
    if (!HasHandle()) break;  // the time-out or a cancel
  }
  ::freeaddrinfo(found);
  return connected;
}

bool TimeoutSocket::ConnectTo(const void* address, uint32_t length) {
  if (::connect(SocketOf(handle_), static_cast<const sockaddr*>(address),
                static_cast<int>(length)) == 0) {
    return true;
  }
  if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
  if (!WaitUntilReady(kWritable)) return false;
  int error = 0;
  int size = sizeof error;
  return ::getsockopt(SocketOf(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                      &size) == 0 &&
         error == 0;
}

int TimeoutSocket::Send(const void* data, int length, bool /*moreFollows*/) {
  if (CancelPosted() || !HasHandle() || length < 0) return kSocketError;
  if (tls_) return tls_->Write(*this, data, length);
  const char* next = static_cast<const char*>(data);
  int left = length;
  while (left > 0) {
    const int sent = ::send(SocketOf(handle_), next, left, 0);
    if (sent > 0) {
      next += sent;
      left -= sent;
    } else if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      if (!WaitUntilReady(kWritable)) return kSocketError;
    } else {
      return kSocketError;
    }
  }
  return length;
}

int TimeoutSocket::Receive(void* buffer, int capacity) {
  if (CancelPosted() || !HasHandle() || capacity <= 0) return kSocketError;
  if (tls_) return tls_->Read(*this, buffer, capacity);
  for (;;) {
    const int got = ::recv(SocketOf(handle_), static_cast<char*>(buffer), capacity, 0);
    if (got >= 0) return got;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return kSocketError;
    if (!WaitUntilReady(kReadable)) return kSocketError;
  }
}

void TimeoutSocket::Close() {
  if (HasHandle()) {
    ::closesocket(SocketOf(handle_));
    handle_ = kNoHandle;
  }
  if (waitEvent_ != 0) {
    ::WSACloseEvent(reinterpret_cast<WSAEVENT>(waitEvent_));
    waitEvent_ = 0;
  }
}

// TLS on Windows goes through the same session as on POSIX, with the
// socket as its descriptor (a build without OpenSSL refuses every handshake).
bool TimeoutSocket::StartTls(const TlsOptions& options, std::string& failure) {
  tls_.reset();
  if (CancelPosted() || !HasHandle()) {
    failure = "the connection is closed";
    return false;
  }
  tls_ = TlsSession::Start(*this, static_cast<int>(handle_), options, failure);
  if (tls_) return true;
  Close();
  return false;
}

bool TimeoutSocket::WaitUntilReadable() { return WaitUntilReady(kReadable); }
bool TimeoutSocket::WaitUntilWritable() { return WaitUntilReady(kWritable); }

bool TimeoutSocket::CancelPosted() {
  MSG message;
  if (!::PeekMessageA(&message, nullptr, kCancelMessage, kCancelMessage, PM_REMOVE)) return false;
  Close();
  ::WSASetLastError(WSAEINTR);
  return true;
}

// The event is the socket's own, not one per thread: with a thread_local
// event (a thread_local with a destructor, run by the runtime's thread-exit
// callbacks) the exit of a thread that had used sockets hung at times under
// Wine, and so did whoever joined it.
bool TimeoutSocket::WaitUntilReady(int events) {
  if (waitEvent_ == 0) {
    const WSAEVENT created = ::WSACreateEvent();
    if (created == WSA_INVALID_EVENT) return false;
    waitEvent_ = reinterpret_cast<intptr_t>(created);
  }
  const WSAEVENT event = reinterpret_cast<WSAEVENT>(waitEvent_);
  const long watched = events == kReadable ? (FD_READ | FD_CLOSE) : (FD_WRITE | FD_CONNECT | FD_CLOSE);
  // Associated before the readiness check: what happens after it signals.
  ::WSAResetEvent(event);
  if (::WSAEventSelect(SocketOf(handle_), event, watched) != 0) return false;
  for (;;) {
    if (CancelPosted()) return false;
    if (IsReady(SocketOf(handle_), events)) return true;
    DWORD wait = INFINITE;
    if (timerId_ != 0) {
      const uint64_t now = MonotonicMilliseconds();
      if (now >= deadline_) {
        timerId_ = 0;
        OnTimeout();
        ::WSASetLastError(WSAETIMEDOUT);
        return false;
      }
      wait = static_cast<DWORD>(deadline_ - now);
    }
    // Wakes on the socket's event and on messages posted after the check above.
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &event, FALSE, wait, QS_POSTMESSAGE);
    if (woken == WAIT_FAILED) return false;
    if (woken == WAIT_OBJECT_0) ::WSAResetEvent(event);
  }
}

std::unique_ptr<TimeoutSocket> TimeoutSocket::Adopt(intptr_t handle) {
  const SOCKET socket = SocketOf(handle);
  // An accepted socket shares the listener's event association; it gets its own.
  ::WSAEventSelect(socket, nullptr, 0);
  if (!SetNonBlocking(socket)) {
    ::closesocket(socket);
    return nullptr;
  }
  return std::unique_ptr<TimeoutSocket>(new TimeoutSocket(handle));
}

std::string LocalHostName() {
  if (!StartWinsock()) return std::string();
  char name[129] = {};
  if (::gethostname(name, 128) != 0) return std::string();
  return std::string(name);
}

std::optional<std::string> LocalHostAddress() {
  // Windows answers its own computer name from its interfaces (and the
  // hosts file) without asking a name server.
  const std::string name = LocalHostName();
  if (name.empty()) return std::nullopt;
  const std::optional<in_addr> address = ResolveIpv4(name);
  if (!address) return std::nullopt;
  char dotted[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &*address, dotted, sizeof dotted);
  return std::string(dotted);
}

}  // namespace quorvel::platform
