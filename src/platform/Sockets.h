// Blocking stream sockets that can be abandoned in two ways: a time-out the
// user starts around one operation, and a cancel that another thread posts to
// the blocked thread (on Windows the thread message 0x0401). Either one closes
// the socket and fails the call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvel::platform {

// The result of a failed Send or Receive.
inline constexpr int kSocketError = -1;

// Readies the calling thread for blocking socket calls (the socket library
// on Windows; the thread's cancel queue everywhere). Always true on POSIX.
// From then until the thread ends it has a cancel queue of its own; creating
// a socket does the same.
bool InitializeSockets();

// Holds a cancel queue for the thread `threadId` while it has a context,
// whether or not it uses the queue itself or is still running; Close lets
// go of it (the queue stays while the thread itself uses it). Release lets
// go of every such queue (library unload).
void OpenCancelQueue(uint32_t threadId);
void CloseCancelQueue(uint32_t threadId);
void ReleaseCancelQueues();

// Posts the cancel to the thread `threadId`. If it is blocked in a socket
// call, the call fails at once and its socket is closed; otherwise the cancel
// is kept, and the thread's next blocking socket call fails at once the same
// way. False when `threadId` has no cancel queue: no context holds one for
// it and it has not used one itself, or it has ended (it gives its queue up
// before it can be joined).
bool PostSocketCancel(uint32_t threadId);

// How a socket secures its connection with TLS (1.2 at least).
struct TlsOptions {
  // The name the certificate must carry (a host name or an address).
  std::string hostName;
  // Certificates trusted besides the system's store (PEM); empty: none.
  std::string caFile;
  // False accepts any certificate (the callers log that it did).
  bool verify = true;
};

class TlsSession;

class TimeoutSocket {
 public:
  TimeoutSocket();
  TimeoutSocket(const TimeoutSocket&) = delete;
  TimeoutSocket& operator=(const TimeoutSocket&) = delete;
  // Stops a running time-out and closes the socket.
  virtual ~TimeoutSocket();

  // The operations are virtual so that tests and fuzz targets can stand a
  // scripted connection in for the network.

  // A stream socket; false when the system refuses one.
  virtual bool Create();
  // The system's own receive time-out option. Blocking calls here wait by
  // the time-out of StartTimeout, which is what abandons them.
  virtual bool SetReceiveTimeoutOption(uint32_t milliseconds);
  // Sends small writes at once instead of collecting them.
  virtual bool SetNoDelay();
  // Connects to a host name or dotted address.
  virtual bool Connect(const std::string& host, uint16_t port);
  // Sends all bytes; answers their number, or kSocketError. `moreFollows`
  // lets the system hold them back until the next send without it, so that
  // pieces sent one after the other leave together.
  virtual int Send(const void* data, int length, bool moreFollows = false);
  // Waits for at least one byte; answers the number received (at most
  // `capacity`), 0 when the peer has closed, or kSocketError.
  virtual int Receive(void* buffer, int capacity);
  virtual void Close();
  virtual bool IsOpen() const { return HasHandle(); }
  // Turns the connected socket into a TLS client connection: the handshake
  // runs under the time-out and the cancel like any blocking call, and every
  // Send and Receive after it is encrypted. False, with the socket closed and
  // `failure` saying why (the certificate is not trusted, the handshake
  // failed, a time-out or a cancel), otherwise.
  virtual bool StartTls(const TlsOptions& options, std::string& failure);
  virtual bool IsSecure() const { return tls_ != nullptr && HasHandle(); }

  // A time-out for the blocking calls until StopTimeout: when it expires
  // while a call waits, OnTimeout runs and the call fails.
  void StartTimeout(uint32_t milliseconds);
  // True when no time-out is left running.
  bool StopTimeout();
  uint32_t timerId() const { return timerId_; }

 protected:
  // Closes the socket.
  virtual void OnTimeout();

 private:
  friend class LoopbackListener;  // of the tests (platform/testing)
  friend class TlsSession;
  static constexpr intptr_t kNoHandle = -1;
  explicit TimeoutSocket(intptr_t handle);
  // A socket that a listener accepted, made non-blocking and waitable as
  // Create makes its own; empty (the socket closed) when that fails.
  static std::unique_ptr<TimeoutSocket> Adopt(intptr_t handle);
  bool HasHandle() const { return handle_ != kNoHandle; }
  // Waits until the socket is ready for `events`; false, with the socket
  // closed, on the time-out or a cancel.
  bool WaitUntilReady(int events);
  // The same for the TLS layer, which knows no poll events.
  bool WaitUntilReadable();
  bool WaitUntilWritable();
  // A fresh socket of `family` in place of the current one (connecting to
  // the next address of a host), with the receive time-out option kept.
  bool Reopen(int family);
  // Connects to one resolved address; false when refused or unreachable.
  bool ConnectTo(const void* address, uint32_t length);
  // Consumes a posted cancel: closes the socket and answers true.
  bool CancelPosted();

  intptr_t handle_ = kNoHandle;
  // Kept after Close until the next Create: a time-out may close the socket
  // while the session waits inside a read.
  std::unique_ptr<TlsSession> tls_;
  uint32_t receiveTimeoutOption_ = 0;  // 0: never set
  // Windows: the event a blocking call waits on, made at the first wait and
  // closed with the socket (0: none; unused on POSIX).
  intptr_t waitEvent_ = 0;
  uint32_t timerId_ = 0;
  uint64_t deadline_ = 0;  // monotonic milliseconds, while timerId_ != 0
};

// The local computer's host name (at most 128 bytes).
std::string LocalHostName();
// The first address of the local host name in dotted form, looked up in the
// hosts file only, so that asking never leaves the machine.
std::optional<std::string> LocalHostAddress();

}  // namespace quorvel::platform
