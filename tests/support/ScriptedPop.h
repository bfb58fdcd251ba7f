// A stand-in connection that answers in turns: the greeting is there at once, each further
// reply is released by the client's next command, in the pieces the test chose; after the last
// the server closes. Every command sent is kept.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/Sockets.h"

namespace quorvel::testing {

class TurnSocket : public platform::TimeoutSocket {
 public:
  using Reply = std::vector<std::string>;  // the pieces of one reply

  TurnSocket(std::vector<Reply> replies, std::string* sent)
      : replies_(replies.begin(), replies.end()), sent_(sent) {}

  bool Create() override { return open_ = true; }
  bool SetReceiveTimeoutOption(uint32_t) override { return open_; }
  bool SetNoDelay() override { return open_; }
  bool Connect(const std::string&, uint16_t) override {
    Release();
    return open_;
  }
  int Send(const void* data, int length, bool) override {
    if (!open_) return platform::kSocketError;
    sent_->append(static_cast<const char*>(data), static_cast<size_t>(length));
    Release();
    return length;
  }
  int Receive(void* buffer, int capacity) override {
    if (!open_) return platform::kSocketError;
    if (pending_.empty()) return 0;
    std::string& piece = pending_.front();
    const size_t count = std::min(piece.size(), static_cast<size_t>(capacity));
    std::memcpy(buffer, piece.data(), count);
    piece.erase(0, count);
    if (piece.empty()) pending_.pop_front();
    return static_cast<int>(count);
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

 private:
  void Release() {
    if (replies_.empty()) return;
    for (std::string& piece : replies_.front()) {
      if (!piece.empty()) pending_.push_back(std::move(piece));
    }
    replies_.pop_front();
  }

  std::deque<Reply> replies_;
  std::deque<std::string> pending_;
  std::string* sent_;
  bool open_ = false;
};

}  // namespace quorvel::testing
