// A dialogue case (KeyedCases.h) played on a loopback connection. The scripted server takes the
// steps in the case's order: "<" sends its value as one packet, once the client has received
// all before it, so that each packet arrives alone; ">" reads as many bytes as its value has,
// the bytes the client must send ($HOST: this machine's name). Markers: "! stall" waits until
// the client closes, neither reading nor sending; "! close" closes at once; "! trickle" sends
// single bytes 5 ms apart until the client gives up (before the 4000th); "! break" breaks the
// client's connection amid its send once it has sent the ">" bytes before the marker. After
// the last step the server closes; a case without steps has none (nothing listens).
//
// The client's end connects to the server whatever the host, keeps the bytes it sent, and takes
// StartTls for done without encrypting. The clients' events are kept here too.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "KeyedCases.h"
#include "ScriptedServer.h"

namespace quorvel::testing {

// The client's end as the server and the test see it (shared: either may end first).
struct DialogueEnd {
  std::mutex lock;
  std::condition_variable changed;
  std::string sent;
  size_t received = 0, breakAfter = std::string::npos;
  bool closed = false;
  char secured = '-';  // 'i' before the greeting, 'u' upgraded
  platform::TlsOptions tls;

  // Until the client has received `bytes` or closed (20 s at most: a broken test).
  void WaitFor(size_t bytes) {
    std::unique_lock hold(lock);
    changed.wait_for(hold, std::chrono::seconds(20), [&] { return closed || received >= bytes; });
  }
  void Update(const std::function<void()>& change) {
    std::lock_guard hold(lock);
    change();
    changed.notify_all();
  }
};

class DialogueSocket : public platform::TimeoutSocket {
 public:
  DialogueSocket(std::shared_ptr<DialogueEnd> end, uint16_t port) : end_(end), port_(port) {}
  ~DialogueSocket() override { end_->Update([&] { end_->closed = true; }); }

  bool Connect(const std::string&, uint16_t) override {
    return TimeoutSocket::Connect("127.0.0.1", port_);
  }
  int Send(const void* data, int length, bool moreFollows) override {
    const size_t room = end_->breakAfter - std::min(end_->breakAfter, end_->sent.size());
    const int part = static_cast<int>(std::min(room, static_cast<size_t>(length)));
    const int sent = part > 0 ? TimeoutSocket::Send(data, part, moreFollows) : -1;
    if (sent > 0) end_->Update([&] { end_->sent.append(static_cast<const char*>(data), sent); });
    if (part < length) Close();
    return sent;
  }
  int Receive(void* buffer, int capacity) override {
    const int got = TimeoutSocket::Receive(buffer, capacity);
    if (got > 0) end_->Update([&] { end_->received += static_cast<size_t>(got); });
    return got;
  }
  void Close() override {
    const bool open = IsOpen();  // not the closing in Create
    TimeoutSocket::Close();
    if (open) end_->Update([&] { end_->closed = true; });
  }
  bool StartTls(const platform::TlsOptions& options, std::string&) override {
    end_->Update([&] {
      end_->tls = options;
      end_->secured = end_->received == 0 ? 'i' : 'u';
    });
    return true;
  }
  bool IsSecure() const override { return end_->secured != '-' && IsOpen(); }

 private:
  std::shared_ptr<DialogueEnd> end_;
  uint16_t port_;
};

class Dialogue {
 public:
  explicit Dialogue(const KeyedCase& c) {
    for (auto [key, value] : c.lines) {
      if (key != "<" && key != ">" && key != "!") continue;
      for (size_t at; key == ">" && (at = value.find("$HOST")) != std::string::npos;) {
        value.replace(at, 5, platform::LocalHostName());
      }
      expected_ += key == ">" ? value : "";
      if (value == "break") end_->breakAfter = expected_.size();
      steps_.emplace_back(key, value);
    }
    if (steps_.empty()) return;
    server_ = std::make_unique<ScriptedServer>([this](ServerSide& side) { Play(side); });
  }
  std::unique_ptr<platform::TimeoutSocket> Socket() {
    return std::make_unique<DialogueSocket>(end_, server_ ? server_->port() : ClosedLoopbackPort());
  }
  // What the client sent, once the server has ended.
  std::string Sent() {
    if (server_) server_->transcript();
    std::lock_guard hold(end_->lock);
    return end_->sent;
  }
  const std::string& Expected() const { return expected_; }
  const DialogueEnd& end() const { return *end_; }

 private:
  void Play(ServerSide& side) {
    size_t sent = 0;
    for (const auto& [key, value] : steps_) {
      if (key == "<") end_->WaitFor(sent);
      if ((key == "<" && !side.Send(value)) || (key == ">" && !side.Read(value.size()))) return;
      sent += key == "<" ? value.size() : 0;
      if (key == "!" && value == "close") return;
      if (key == "!" && value == "stall") end_->WaitFor(std::string::npos);
      if (key == "!" && value == "trickle") {
        EXPECT_LT(Trickle(side, 4000, std::chrono::milliseconds(5)), 4000);
      }
    }
  }

  std::shared_ptr<DialogueEnd> end_ = std::make_shared<DialogueEnd>();
  std::vector<std::pair<std::string, std::string>> steps_;
  std::string expected_;
  std::unique_ptr<ScriptedServer> server_;  // last: ends first
};

// The clients' events in order, each with its target ('w' the window, 'c' the callback); the
// callback has no user value, hence one list. `onClientEvent` sees each callback event too.
struct ClientEvent {
  char target;
  uint32_t code, argument;
};
inline std::mutex clientEventLock;
inline std::vector<ClientEvent> clientEvents;
inline std::function<void(uint32_t, uint32_t)> onClientEvent;
inline uint32_t clientWindowMessage = 0;  // the message number the window must get

inline void RecordCallback(uint32_t code, uint32_t argument) {
  {
    std::lock_guard hold(clientEventLock);
    clientEvents.push_back({'c', code, argument});
  }
  if (onClientEvent) onClientEvent(code, argument);
}
inline intptr_t RecordWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  EXPECT_EQ(message, clientWindowMessage);
  std::lock_guard hold(clientEventLock);
  clientEvents.push_back({'w', static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)});
  return 0;
}
// The callback's events as "code:argument", or the arguments of those of one code; each one
// must have reached the window just before.
inline std::string CallbackEvents(uint32_t only = 0) {
  std::lock_guard hold(clientEventLock);
  EXPECT_EQ(clientEvents.size() % 2, 0u);
  std::string text;
  for (size_t i = 1; i < clientEvents.size(); i += 2) {
    const ClientEvent &window = clientEvents[i - 1], &e = clientEvents[i];
    EXPECT_TRUE(window.target == 'w' && e.target == 'c' && window.code == e.code &&
                window.argument == e.argument) << i;
    if (only != 0 && e.code != only) continue;
    text += (text.empty() ? "" : " ") + (only ? "" : std::to_string(e.code) + ":");
    text += std::to_string(e.argument);
  }
  return text;
}

}  // namespace quorvel::testing
