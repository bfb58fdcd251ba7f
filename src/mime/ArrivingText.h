// A message text that is read while it arrives: the receiving thread
// publishes how much of its buffer is final, a reading thread waits for
// more. The buffer never moves while it is published: before it could, the
// receiving side abandons the reader and waits until it has let go.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string_view>

namespace quorvel {

// Thrown to the reader when the text it waits for will not come.
struct ArrivalAbandoned {};

class ArrivingText {
 public:
  // A reader waiting for more waits for `batch` bytes more at least.
  explicit ArrivingText(size_t batch = 256 * 1024) : batch_(batch) {}
  size_t batch() const { return batch_; }

  struct Known {
    std::string_view text;  // what has arrived, from the start
    bool complete = false;  // the whole text
  };

  // Receiving side. `data` holds `size` final bytes; it stays where it is
  // until Abandon.
  void Publish(const char* data, size_t size, bool complete);
  // The reader is told to stop; answers once it no longer reads the text.
  void Abandon();
  // Answers once the reader waits for more than is published, or is done
  // (false then): a sender that goes step by step with its reader.
  bool AwaitReader();

  // Reading side. The known text once at least `wanted` bytes have arrived
  // (or all of it, if fewer); throws ArrivalAbandoned after Abandon.
  Known WaitFor(size_t wanted);
  // Called when the reader is done with the text, whatever its outcome.
  void LetGo();

 private:
  const size_t batch_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Known known_;
  bool abandoned_ = false;
  bool reading_ = true;
  size_t wanted_ = 0;  // what the reader waits for
};

}  // namespace quorvel
