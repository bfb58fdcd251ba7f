// Non-blocking sockets waited on with poll together with the thread's cancel
// queue, an eventfd that PostSocketCancel writes. A cancel posted while the
// thread does not wait stays pending in the queue until its next blocking
// call, as a posted thread message waits in a Windows message queue.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"
#include "platform/TlsSession.h"

namespace quorvel::platform {

namespace {

struct CancelQueue {
  CancelQueue() : wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~CancelQueue() {
    if (wake >= 0) ::close(wake);
  }
  void Drain() const {
    uint64_t count;
    while (::read(wake, &count, sizeof count) > 0) {
    }
  }
  std::atomic<bool> pending{false};
  const int wake;
  // Under the table's lock: why the queue is in the table. It leaves when
  // neither holds.
  bool ownedByThread = false;   // the thread has used it and not yet ended
  bool heldForContext = false;  // between OpenCancelQueue and CloseCancelQueue
};

struct QueueTable {
  std::mutex lock;
  std::unordered_map<uint32_t, std::shared_ptr<CancelQueue>> queues;
};

// Kept while threads hold their own queues: they may still end (and leave the
// table) during exit, after the library's unload hook has run.
QueueTable* queueTable = nullptr;
std::mutex queueTableLock;

QueueTable& Queues() {
  std::lock_guard hold(queueTableLock);
  if (queueTable == nullptr) queueTable = new QueueTable;
  return *queueTable;
}

// The calling thread's own queue. The thread gives it up in its own exit,
// before it can be joined: a joined thread is never found, unless a context
// still holds its queue.
struct OwnQueue {
  ~OwnQueue() {
    if (!queue) return;
    QueueTable& table = Queues();
    std::lock_guard hold(table.lock);
    queue->ownedByThread = false;
    const auto found = table.queues.find(threadId);
    if (found != table.queues.end() && found->second == queue && !queue->heldForContext) {
      table.queues.erase(found);
    }
  }
  CancelQueue& Get() {
    if (!queue) {
      threadId = CurrentThreadId();
      QueueTable& table = Queues();
      std::lock_guard hold(table.lock);
      auto& entry = table.queues[threadId];
      if (!entry) entry = std::make_shared<CancelQueue>();
      entry->ownedByThread = true;
      queue = entry;
    }
    return *queue;
  }
  uint32_t threadId = 0;
  std::shared_ptr<CancelQueue> queue;
};
thread_local OwnQueue ownQueue;

int FdOf(intptr_t handle) { return static_cast<int>(handle); }

// Every address of the host, IPv6 and IPv4 in the resolver's order. A
// dotted or colon address is taken as it is, without asking the resolver.
struct Addresses {
  ~Addresses() {
    if (list != nullptr) ::freeaddrinfo(list);
  }
  addrinfo* list = nullptr;
};

bool Resolve(const std::string& host, uint16_t port, Addresses& found) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  const std::string service = std::to_string(port);
  return ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found.list) == 0 &&
         found.list != nullptr;
}

}  // namespace

bool InitializeSockets() {
  ownQueue.Get();
  return true;
}

void OpenCancelQueue(uint32_t threadId) {
  QueueTable& table = Queues();
  std::lock_guard hold(table.lock);
  auto& entry = table.queues[threadId];
  if (!entry) entry = std::make_shared<CancelQueue>();
  entry->heldForContext = true;
}

void CloseCancelQueue(uint32_t threadId) {
  QueueTable& table = Queues();
  std::lock_guard hold(table.lock);
  const auto found = table.queues.find(threadId);
  if (found == table.queues.end()) return;
  found->second->heldForContext = false;
  if (!found->second->ownedByThread) table.queues.erase(found);
}

void ReleaseCancelQueues() {
  std::lock_guard holdTable(queueTableLock);
  if (queueTable == nullptr) return;
  {
    std::lock_guard hold(queueTable->lock);
    std::erase_if(queueTable->queues, [](const auto& entry) { return !entry.second->ownedByThread; });
    if (!queueTable->queues.empty()) return;
  }
  delete queueTable;
  queueTable = nullptr;
}

bool PostSocketCancel(uint32_t threadId) {
  QueueTable& table = Queues();
  std::lock_guard hold(table.lock);
  const auto found = table.queues.find(threadId);
  if (found == table.queues.end()) return false;
  CancelQueue* queue = found->second.get();
  queue->pending = true;
  const uint64_t one = 1;
  return ::write(queue->wake, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

TimeoutSocket::TimeoutSocket() = default;
TimeoutSocket::TimeoutSocket(intptr_t handle) : handle_(handle) {}

TimeoutSocket::~TimeoutSocket() {
  StopTimeout();
  TimeoutSocket::Close();
}

bool TimeoutSocket::Create() {
  Close();
  ownQueue.Get();
  receiveTimeoutOption_ = 0;
  return Reopen(AF_INET);
}

bool TimeoutSocket::Reopen(int family) {
  Close();
  tls_.reset();
  const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;
  return receiveTimeoutOption_ == 0 || SetReceiveTimeoutOption(receiveTimeoutOption_);
}

bool TimeoutSocket::SetReceiveTimeoutOption(uint32_t milliseconds) {
  if (!HasHandle()) return false;
  receiveTimeoutOption_ = milliseconds;
  timeval limit{static_cast<time_t>(milliseconds / 1000),
                static_cast<suseconds_t>(milliseconds % 1000) * 1000};
  return ::setsockopt(FdOf(handle_), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

bool TimeoutSocket::SetNoDelay() {
  if (!HasHandle()) return false;
  const int on = 1;
  return ::setsockopt(FdOf(handle_), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

// Each address in turn, all within the one time-out: one that refuses or
// cannot be reached passes the turn to the next; the time-out and a cancel
// end the whole attempt.
bool TimeoutSocket::Connect(const std::string& host, uint16_t port) {
  if (CancelPosted() || !HasHandle()) return false;
  Addresses addresses;
  if (!Resolve(host, port, addresses)) return false;
  int family = AF_INET;
  bool fresh = true;  // the socket has not tried an address yet
  for (const addrinfo* address = addresses.list; address != nullptr; address = address->ai_next) {
    if ((address->ai_family != family || !fresh) && !Reopen(address->ai_family)) return false;
    family = address->ai_family;
    fresh = false;
    if (ConnectTo(address->ai_addr, address->ai_addrlen)) return true;
    if (!HasHandle()) return false;  // the time-out or a cancel
  }
  return false;
}

bool TimeoutSocket::ConnectTo(const void* address, uint32_t length) {
  if (::connect(FdOf(handle_), static_cast<const sockaddr*>(address), length) == 0) return true;
  if (errno != EINPROGRESS) return false;
  if (!WaitUntilReady(POLLOUT)) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return ::getsockopt(FdOf(handle_), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

int TimeoutSocket::Send(const void* data, int length, bool moreFollows) {
  if (CancelPosted() || !HasHandle() || length < 0) return kSocketError;
  if (tls_) return tls_->Write(*this, data, length);
  const char* next = static_cast<const char*>(data);
  int left = length;
  const int flags = MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0);
  while (left > 0) {
    const ssize_t sent = ::send(FdOf(handle_), next, static_cast<size_t>(left), flags);
    if (sent > 0) {
      next += sent;
      left -= static_cast<int>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitUntilReady(POLLOUT)) return kSocketError;
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
    const ssize_t got = ::recv(FdOf(handle_), buffer, static_cast<size_t>(capacity), 0);
    if (got >= 0) return static_cast<int>(got);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return kSocketError;
    if (!WaitUntilReady(POLLIN)) return kSocketError;
  }
}

void TimeoutSocket::Close() {
  if (!HasHandle()) return;
  ::close(FdOf(handle_));
  handle_ = kNoHandle;
}

bool TimeoutSocket::StartTls(const TlsOptions& options, std::string& failure) {
  tls_.reset();
  if (CancelPosted() || !HasHandle()) {
    failure = "the connection is closed";
    return false;
  }
  tls_ = TlsSession::Start(*this, FdOf(handle_), options, failure);
  if (tls_) return true;
  Close();
  return false;
}

bool TimeoutSocket::WaitUntilReadable() { return WaitUntilReady(POLLIN); }
bool TimeoutSocket::WaitUntilWritable() { return WaitUntilReady(POLLOUT); }

bool TimeoutSocket::CancelPosted() {
  CancelQueue& queue = ownQueue.Get();
  if (!queue.pending.exchange(false)) return false;
  queue.Drain();
  Close();
  errno = EINTR;
  return true;
}

bool TimeoutSocket::WaitUntilReady(int events) {
  CancelQueue& queue = ownQueue.Get();
  for (;;) {
    if (CancelPosted()) return false;
    int wait = -1;
    if (timerId_ != 0) {
      const uint64_t now = MonotonicMilliseconds();
      if (now >= deadline_) {
        timerId_ = 0;  // the timer message is taken from the queue
        OnTimeout();
        errno = ETIMEDOUT;
        return false;
      }
      wait = static_cast<int>(deadline_ - now);
    }
    pollfd watched[2] = {{FdOf(handle_), static_cast<short>(events), 0}, {queue.wake, POLLIN, 0}};
    const int ready = ::poll(watched, 2, wait);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if (watched[1].revents != 0) {
      queue.Drain();  // the loop's top sees the cancel, if it is still pending
      continue;
    }
    if (watched[0].revents != 0) return true;
  }
}

std::unique_ptr<TimeoutSocket> TimeoutSocket::Adopt(intptr_t handle) {
  const int fd = FdOf(handle);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TimeoutSocket>(new TimeoutSocket(handle));
}

std::string LocalHostName() {
  char name[129] = {};
  if (::gethostname(name, 128) != 0) return std::string();
  return std::string(name);
}

std::optional<std::string> LocalHostAddress() {
  static std::mutex lock;  // the hosts-file walk keeps its position globally
  const std::string name = LocalHostName();
  std::lock_guard hold(lock);
  std::optional<std::string> result;
  ::sethostent(0);
  while (const hostent* entry = ::gethostent()) {
    bool matches = name == entry->h_name;
    for (char** alias = entry->h_aliases; !matches && alias && *alias; ++alias) {
      matches = name == *alias;
    }
    if (matches && entry->h_addrtype == AF_INET && entry->h_addr_list[0] != nullptr) {
      char dotted[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, entry->h_addr_list[0], dotted, sizeof dotted);
      result = dotted;
      break;
    }
  }
  ::endhostent();
  return result;
}

}  // namespace quorvel::platform
