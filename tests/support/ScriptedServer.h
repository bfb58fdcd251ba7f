// A scripted server on 127.0.0.1 for what real servers will not do on demand (a refusing
// greeting, a reply in two packets, no answer): it runs the script on each connection, on a
// thread of its own, and keeps every byte the client sent.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Sockets.h"
#include "platform/testing/LoopbackListener.h"

namespace quorvel::testing {

class ServerSide {
 public:
  // Small writes go at once: a packet need not wait for the ACK of the one before.
  explicit ServerSide(std::unique_ptr<platform::TimeoutSocket> socket)
      : socket_(std::move(socket)) {
    if (socket_) socket_->SetNoDelay();
  }

  // False once the client has gone.
  bool Send(std::string_view text) {
    return socket_ && socket_->Send(text.data(), static_cast<int>(text.size())) ==
                          static_cast<int>(text.size());
  }
  // Reads until `terminator` has arrived; false when the client closed first (or nothing came
  // within 10 s, which keeps a broken test from hanging).
  bool ReadUntil(std::string_view terminator) {
    size_t from = consumed_;
    size_t found;
    while ((found = received.find(terminator, from)) == std::string::npos) {
      // Only the new bytes and the tail before them can complete it.
      from = std::max(consumed_, received.size() - std::min(received.size(), terminator.size()));
      if (!ReceiveMore()) return false;
    }
    consumed_ = found + terminator.size();
    return true;
  }
  bool ReadLine() { return ReadUntil("\n"); }
  // Reads `count` more bytes; false when the client closed first.
  bool Read(size_t count) {
    while (received.size() < consumed_ + count) {
      if (!ReceiveMore()) return false;
    }
    consumed_ += count;
    return true;
  }
  // Reads the next CR LF line and answers it without its CR LF.
  bool NextLine(std::string& line) {
    const size_t start = consumed_;
    if (!ReadUntil("\r\n")) return false;
    line = received.substr(start, consumed_ - 2 - start);
    return true;
  }
  // Reads until the client closes the connection.
  void WaitForClose() {
    while (ReceiveMore()) {
    }
  }
  void Close() {
    if (socket_) socket_->Close();
  }

  std::string received;  // everything the client sent so far

 private:
  bool ReceiveMore() {
    if (!socket_) return false;
    char buffer[4096];
    socket_->StartTimeout(10000);
    const int got = socket_->Receive(buffer, sizeof buffer);
    socket_->StopTimeout();
    if (got <= 0) return false;
    received.append(buffer, static_cast<size_t>(got));
    return true;
  }

  std::unique_ptr<platform::TimeoutSocket> socket_;
  size_t consumed_ = 0;
};

// A hostile server's data: up to `most` single bytes, `pace` apart (its pace,
// not a wait for the client), `each` called with the count sent so far.
// Ends early once the client has gone. Answers the number sent.
inline int Trickle(ServerSide& side, int most, std::chrono::milliseconds pace,
                   const std::function<void(int)>& each = {}) {
  int sent = 0;
  for (; sent < most && side.Send("x"); ++sent) {
    if (each) each(sent + 1);
    std::this_thread::sleep_for(pace);
  }
  return sent;
}

// A loopback port on which nothing listens (a listener's, closed again).
inline uint16_t ClosedLoopbackPort() {
  auto listener = platform::LoopbackListener::Open();
  return listener ? listener->Port() : 0;
}

class ScriptedServer {
 public:
  using Script = std::function<void(ServerSide&)>;

  // Serves `connections` connections in turn (0: every one until the object ends), each with
  // `script`; the transcript holds all.
  explicit ScriptedServer(Script script, int connections = 1)
      : listener_(platform::LoopbackListener::Open()) {
    if (!listener_) return;
    thread_ = std::thread([this, connections, script = std::move(script)] {
      for (int i = 0; connections == 0 ? !stop_ : i < connections; ++i) {
        auto socket = listener_->Accept(connections == 0 ? 100 : 10000);  // short: see stop_
        if (!socket && connections == 0) continue;
        ServerSide side(std::move(socket));
        script(side);
        side.Close();
        transcript_ += side.received;
      }
    });
  }
  ~ScriptedServer() {
    stop_ = true;
    Join();
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t port() const { return listener_ ? listener_->Port() : 0; }
  // Waits for the script's end (not for 0 connections); then the transcript is complete.
  const std::string& transcript() {
    Join();
    return transcript_;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  std::unique_ptr<platform::LoopbackListener> listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::string transcript_;
};

}  // namespace quorvel::testing
