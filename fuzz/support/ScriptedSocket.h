// A stand-in for a connection: hands out a fixed server stream in pieces of
// a chosen size, accepts every byte sent, and reports the end of the stream
// as the server closing. Lets a protocol client's reply reader be fuzzed
// without the network and with the same pieces on every run.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Sockets.h"

namespace quorvel::fuzz {

class ScriptedSocket : public platform::TimeoutSocket {
 public:
  ScriptedSocket(std::string stream, size_t pieceSize)
      : stream_(std::move(stream)), pieceSize_(std::max<size_t>(pieceSize, 1)) {}

  bool Create() override { return open_ = true; }
  bool SetReceiveTimeoutOption(uint32_t) override { return open_; }
  bool SetNoDelay() override { return open_; }
  bool Connect(const std::string&, uint16_t) override { return open_; }
  int Send(const void*, int length, bool) override { return open_ ? length : platform::kSocketError; }
  int Receive(void* buffer, int capacity) override {
    if (!open_ || capacity <= 0) return platform::kSocketError;
    const size_t count = std::min({pieceSize_, stream_.size() - position_, static_cast<size_t>(capacity)});
    std::memcpy(buffer, stream_.data() + position_, count);
    position_ += count;
    return static_cast<int>(count);
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

 private:
  std::string stream_;
  size_t pieceSize_;
  size_t position_ = 0;
  bool open_ = false;
};

}  // namespace quorvel::fuzz
