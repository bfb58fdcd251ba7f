#include "DemoServers.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

namespace quorvel::tool {

namespace {

namespace fs = std::filesystem;

// The script of the source tree the tool was built from, unless the
// environment names another.
std::string ScriptPath() {
  const char* chosen = std::getenv("QUORVEL_MAILSERVERS_SCRIPT");
  return chosen != nullptr ? chosen : QUORVEL_MAILSERVERS_SCRIPT;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

bool DemoServers::Start(const std::string& directory) {
  script_ = ScriptPath();
  state_ = directory + "mailservers.env";
  const std::string log = directory + "mailservers.log";
  const std::string command = ShellQuoted(script_) + " start " + ShellQuoted(state_) + " >" +
                              ShellQuoted(log) + " 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::cerr << "quorvel demo: the mail servers did not start (" << script_ << "):\n"
              << std::ifstream(log).rdbuf() << "\n";
    state_.clear();
    return false;
  }
  std::map<std::string, std::string> values;
  std::ifstream in(state_);
  for (std::string line; std::getline(in, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  smtpPort_ = static_cast<uint16_t>(std::atoi(values["QUORVEL_SMTP_PORT"].c_str()));
  popPort_ = static_cast<uint16_t>(std::atoi(values["QUORVEL_POP_PORT"].c_str()));
  domain_ = values["QUORVEL_MAIL_DOMAIN"];
  maildirRoot_ = values["QUORVEL_MAILDIR_ROOT"];
  tlsCa_ = values["QUORVEL_TLS_CA"];
  tlsHost_ = values["QUORVEL_TLS_HOST"];
  return smtpPort_ != 0 && popPort_ != 0;
}

void DemoServers::Stop() {
  if (state_.empty()) return;
  const std::string command =
      ShellQuoted(script_) + " stop " + ShellQuoted(state_) + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::cerr << "quorvel demo: stopping the mail servers failed (" << state_ << ")\n";
  }
  state_.clear();
}

bool DemoServers::AwaitDelivery(const std::string& user, size_t count) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    size_t delivered = 0;
    for (const char* folder : {"new", "cur"}) {
      std::error_code error;
      for (fs::directory_iterator file(maildirRoot_ + "/" + user + "/" + folder, error), end;
           !error && file != end; file.increment(error)) {
        ++delivered;
      }
    }
    if (delivered >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace quorvel::tool
