// A message parsed on a thread of its own while it is being received, so
// that decoding and writing its parts fill the time spent waiting for the
// server. The result is what ParseMessage gives on the whole text.
#pragma once

#include <thread>

#include "mime/ArrivingText.h"
#include "mime/MailMessage.h"

namespace quorvel {

class ParseWhileReceiving {
 public:
  // Starts parsing into `message` (part files in the temporary directory)
  // whatever gets published to arriving().
  explicit ParseWhileReceiving(MailMessage& message, size_t batch = 256 * 1024);
  ParseWhileReceiving(const ParseWhileReceiving&) = delete;
  ParseWhileReceiving& operator=(const ParseWhileReceiving&) = delete;
  // Without Finish, the parse is abandoned and its part files removed.
  ~ParseWhileReceiving();

  ArrivingText& arriving() { return arriving_; }
  // Once the whole text was published (or the reader abandoned): true when
  // the message is parsed; false when it must still be parsed, with no part
  // file of this parse left.
  bool Finish();

 private:
  void Run();

  MailMessage& message_;
  ArrivingText arriving_;
  bool parsed_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace quorvel
