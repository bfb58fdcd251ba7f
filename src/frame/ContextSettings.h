// The protocol, server and directory setters of a context. Each takes the
// calling thread's context, which may be null: without a context a setter
// changes nothing and answers success.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"

namespace quorvel {

struct SmtpPopParameters {
  const char* popHost = nullptr;
  uint16_t popPort = 110;
  const char* popUser = nullptr;
  const char* popPassword = nullptr;
  const char* smtpHost = nullptr;
  uint16_t smtpPort = 25;
  const CodedText* senderName = nullptr;
  const char* mimeDirectory = nullptr;
  uint8_t flag = 0;
};

bool UseProtocol(ThreadContext* context, MailProtocol protocol);
// Stores everything, then checks the MIME directory: a missing one fails with
// "No Directory existing" but leaves what was stored.
bool UseSmtpPop(ThreadContext* context, const SmtpPopParameters& parameters);

bool SetReceptionDirectory(ThreadContext* context, const char* directory);
// A null directory empties the field and succeeds.
bool SetOutDirectory(ThreadContext* context, const char* directory);
bool SetSentDirectory(ThreadContext* context, const char* directory);

void SetClientWindow(ThreadContext* context, WindowHandle window);
void SetProgressCallback(ThreadContext* context, ProgressCallback callback);

}  // namespace quorvel
