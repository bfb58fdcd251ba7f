// The library-wide POP parameters of the last receive and the flag that
// forbids POP connections. Both are shared by every context; the settings
// are copied in and out under a lock so that a reader never sees half of
// another thread's update.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace quorvel {

struct PopSettings {
  std::string host;
  uint16_t port = 110;
  std::string user;
  std::string password;
};

// Stores the four values as the library-wide settings; always true.
bool SetPopSettings(const std::string& host, uint16_t port, const std::string& user,
                    const std::string& password);
PopSettings CurrentPopSettings();

// Set by MailsForbidConnection: the POP client then opens no connection.
std::atomic<bool>& PopConnectionsForbidden();

}  // namespace quorvel
