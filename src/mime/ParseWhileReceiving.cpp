#include "mime/ParseWhileReceiving.h"

#include "mime/MessageParser.h"
#include "mime/ReceiveFunctions.h"

namespace quorvel {

ParseWhileReceiving::ParseWhileReceiving(MailMessage& message, size_t batch)
    : message_(message), arriving_(batch), thread_([this] { Run(); }) {}

ParseWhileReceiving::~ParseWhileReceiving() {
  if (finished_) return;
  arriving_.Abandon();
  thread_.join();
  RemovePartFiles(message_);
}

void ParseWhileReceiving::Run() {
  try {
    ParseArrivingMessage(message_, arriving_, nullptr, true);
    parsed_ = true;
  } catch (...) {
    // Abandoned, or out of memory: the whole text is parsed again.
  }
  arriving_.LetGo();
}

bool ParseWhileReceiving::Finish() {
  thread_.join();
  finished_ = true;
  if (!parsed_) RemovePartFiles(message_);
  return parsed_;
}

}  // namespace quorvel
