#include "mime/ArrivingText.h"

namespace quorvel {

void ArrivingText::Publish(const char* data, size_t size, bool complete) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    known_ = {std::string_view(data, size), complete};
  }
  changed_.notify_all();
}

void ArrivingText::Abandon() {
  std::unique_lock<std::mutex> lock(mutex_);
  abandoned_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return !reading_; });
}

bool ArrivingText::AwaitReader() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] {
    return !reading_ || (!known_.complete && wanted_ > known_.text.size());
  });
  return reading_;
}

ArrivingText::Known ArrivingText::WaitFor(size_t wanted) {
  std::unique_lock<std::mutex> lock(mutex_);
  wanted_ = wanted;
  changed_.notify_all();
  changed_.wait(lock, [&] { return abandoned_ || known_.complete || known_.text.size() >= wanted; });
  if (abandoned_) throw ArrivalAbandoned();
  return known_;
}

void ArrivingText::LetGo() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    reading_ = false;
  }
  changed_.notify_all();
}

}  // namespace quorvel
