// A POP3 maildrop on 127.0.0.1 that keeps its messages across connections: DELE marks, QUIT
// removes the marked, a connection ended without QUIT removes nothing. Any login is taken;
// connections are served one after the other on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "ScriptedServer.h"

namespace quorvel::testing {

class PopMailDrop {
 public:
  // Called with each command line (without CR LF) before it is answered.
  using CommandHook = std::function<void(const std::string&)>;

  explicit PopMailDrop(std::vector<std::string> messages, CommandHook hook = nullptr)
      : messages_(std::move(messages)), hook_(std::move(hook)) {}

  uint16_t port() const { return server_.port(); }
  std::vector<std::string> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  // Replaces the messages (between connections).
  void Refill(std::vector<std::string> messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_ = std::move(messages);
  }
  // Waits until `count` connections have ended since the start; false after a minute.
  bool WaitForConversations(uint32_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, std::chrono::minutes(1), [&] { return conversations_ >= count; });
  }
  // Every command line of every connection, in order.
  std::vector<std::string> Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  void Serve(ServerSide& side) {
    std::set<size_t> marked;
    std::vector<std::string> seen = Messages();
    std::string line;
    for (bool open = side.Send("+OK ready\r\n"); open && side.NextLine(line);) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(line);
      }
      if (hook_) hook_(line);
      const std::string verb = line.substr(0, line.find(' '));
      const size_t number = line.size() > 5 ? std::strtoul(line.c_str() + 5, nullptr, 10) : 0;
      const bool known = number >= 1 && number <= seen.size() && marked.count(number) == 0;
      std::string reply = "+OK\r\n";
      if (verb == "STAT") {
        reply = "+OK " + std::to_string(seen.size()) + " 0\r\n";
      } else if ((verb == "LIST" || verb == "RETR" || verb == "DELE") && !known) {
        reply = "-ERR no such message\r\n";
      } else if (verb == "LIST") {
        reply = "+OK " + std::to_string(number) + " " + std::to_string(seen[number - 1].size());
        reply += "\r\n";
      } else if (verb == "RETR") {
        reply = "+OK\r\n" + Stuffed(seen[number - 1]) + ".\r\n";
      } else if (verb == "DELE") {
        marked.insert(number);
      } else if (verb == "QUIT") {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto at = marked.rbegin(); at != marked.rend(); ++at) {
          seen.erase(seen.begin() + static_cast<std::ptrdiff_t>(*at - 1));
        }
        messages_ = seen;
      }
      open = side.Send(reply) && verb != "QUIT";
    }
    side.Close();
    std::lock_guard<std::mutex> lock(mutex_);
    ++conversations_;
    ended_.notify_all();
  }

  static std::string Stuffed(std::string message) {
    if (message.starts_with(".")) message.insert(0, 1, '.');
    for (size_t at = message.find("\r\n."); at != std::string::npos;
         at = message.find("\r\n.", at + 4)) {
      message.insert(at + 2, 1, '.');
    }
    return message.empty() || message.ends_with("\n") ? message : message + "\r\n";
  }

  mutable std::mutex mutex_;
  std::condition_variable ended_;
  uint32_t conversations_ = 0;
  std::vector<std::string> messages_;
  std::vector<std::string> commands_;
  CommandHook hook_;
  ScriptedServer server_{[this](ServerSide& side) { Serve(side); }, 0};  // last: serves at once
};

}  // namespace quorvel::testing
