// The SMTP parameters of a sender, and the library-wide state of the mail
// layer that every thread shares: the default SMTP settings with their valid
// flag (copied in and out under a lock), and the flag that forbids SMTP
// connections.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace quorvel {

struct SmtpSettings {
  std::string host;
  std::string address;  // the sender's e-mail address
  std::string name;     // the sender's display name
  uint16_t port = 25;
  std::string source;  // the key of the mail client that supplied the values
};

struct DefaultSmtpSettingsState {
  SmtpSettings settings;
  bool valid = false;  // supplied by the host or found by discovery
};

// A copy of the one instance of the library (empty texts, port 25, not valid
// at load); const so that it cannot be mistaken for the instance itself.
const DefaultSmtpSettingsState DefaultSmtpSettings();
void ReplaceDefaultSmtpSettings(const DefaultSmtpSettingsState& state);

// Set by MailsForbidConnection: composed messages are then not sent by SMTP.
std::atomic<bool>& SmtpConnectionsForbidden();

// The built-in values stored when the host gave none and discovery found
// none. ".invalid" names can never be reached.
inline constexpr const char* kFallbackSmtpHost = "smtp.quorvel.invalid";
inline constexpr const char* kFallbackSenderAddress = "unknown.pupil@quorvel.invalid";
inline constexpr const char* kFallbackSenderName = "Unknown Pupil";

}  // namespace quorvel
