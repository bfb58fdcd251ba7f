// The host's per-thread log table. The host owns a CxThreadObjects and hands
// it to MailsInitializexLogFile; from then on every thread that calls into the
// library finds (or gets) its ThreadLogObject there. The host owns the table
// and every object in it, including those the library adds.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

class ThreadLogObject {
 public:
  virtual ~ThreadLogObject() = default;

  std::string logDirectory;  // where the daily files go, with a trailing separator
  std::string filePrefix = "~";
  uint8_t keepCount = 0;  // daily files to keep; 0 disables logging for this thread
  uint16_t sourceId = 0;  // second field of every event line
  uint32_t valueOne = 0;  // value of key 1 of every event line
  std::vector<uint32_t> eventKeys;  // values of the next event, cleared after it
  std::vector<std::string> eventValues;
  std::vector<uint32_t> fixedKeys;  // values written with every event (set by the host)
  std::vector<std::string> fixedValues;
};

class CxThreadObjects {
 public:
  CxThreadObjects() = default;
  CxThreadObjects(const CxThreadObjects&) = delete;
  CxThreadObjects& operator=(const CxThreadObjects&) = delete;
  virtual ~CxThreadObjects() = default;

  // Registers a host thread's object (the first one registered is the
  // template whose settings MailsInitializexLogFile copies).
  void Add(uint32_t threadId, std::unique_ptr<ThreadLogObject> object) {
    std::unique_lock lock(guard);
    if (!threadIds.empty() && threadId < threadIds.back()) sorted = false;
    threadIds.push_back(threadId);
    objects.push_back(std::move(object));
  }

  // Makes the object for a thread the library meets for the first time. It
  // is virtual and defined here so that the object is made by the host's own
  // code: its destructor then lies in the host, which may destroy the table
  // after unloading the library. A host's subclass may make its own kind.
  virtual std::unique_ptr<ThreadLogObject> NewObject() const {
    return std::make_unique<ThreadLogObject>();
  }

  uint32_t maxThreads = 64;  // beyond it the library warns, then adds anyway
  bool sorted = true;        // threadIds ascending: lookups may search by halves
  std::vector<uint32_t> threadIds;  // parallel to objects, registration order
  std::vector<std::unique_ptr<ThreadLogObject>> objects;
  // Guards insertion. The library also takes it shared for lookups, so that a
  // lookup never reads the arrays while another thread grows them.
  std::shared_mutex guard;
};
