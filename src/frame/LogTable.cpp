// Lookups search by halves when the host keeps the identifiers sorted and scan
// otherwise; an object the library adds goes at the end, so the table is no
// longer sorted.
#include "frame/LogTable.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/Alert.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

namespace quorvel {

namespace {

std::atomic<CxThreadObjects*> logTable{nullptr};

ThreadLogObject* Lookup(const CxThreadObjects& table, uint32_t threadId) {
  const auto& ids = table.threadIds;
  const size_t count = std::min(ids.size(), table.objects.size());
  if (table.sorted) {
    const auto end = ids.begin() + static_cast<std::ptrdiff_t>(count);
    const auto found = std::lower_bound(ids.begin(), end, threadId);
    if (found != end && *found == threadId) {
      return table.objects[static_cast<size_t>(found - ids.begin())].get();
    }
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    if (ids[i] == threadId) return table.objects[i].get();
  }
  return nullptr;
}

}  // namespace

ThreadLogObject* FindOrAddThreadLog(CxThreadObjects& table, uint32_t threadId) {
  {
    std::shared_lock reading(table.guard);
    if (ThreadLogObject* found = Lookup(table, threadId)) return found;
  }
  std::unique_lock writing(table.guard);
  if (ThreadLogObject* found = Lookup(table, threadId)) return found;  // added meanwhile
  if (table.objects.size() >= table.maxThreads) {
    platform::ShowAlert("Too much threads in CxThreadObjects !", "Error", platform::AlertIcon::Stop);
  }
  std::unique_ptr<ThreadLogObject> object = table.NewObject();
  if (object == nullptr) return nullptr;
  object->logDirectory = platform::ExecutableDirectory();
  ThreadLogObject* added = object.get();
  // Keep the two arrays parallel even if the host left them uneven.
  table.threadIds.resize(std::min(table.threadIds.size(), table.objects.size()));
  table.objects.resize(table.threadIds.size());
  table.threadIds.push_back(threadId);
  table.objects.push_back(std::move(object));
  table.sorted = false;
  return added;
}

void InitializeLogTable(CxThreadObjects* table) {
  logTable.store(table);
  if (table == nullptr) return;
  ThreadLogObject* own = FindOrAddThreadLog(*table, platform::CurrentThreadId());
  std::shared_lock reading(table->guard);
  const ThreadLogObject* templateObject = table->objects.front().get();
  if (templateObject == nullptr || templateObject == own) return;
  own->logDirectory = templateObject->logDirectory;
  own->filePrefix = templateObject->filePrefix;
  own->keepCount = templateObject->keepCount;
  own->sourceId = templateObject->sourceId;
  own->valueOne = templateObject->valueOne;
}

CxThreadObjects* LogTable() { return logTable.load(); }

ThreadLogObject* CallingThreadLog() {
  CxThreadObjects* table = logTable.load();
  return table == nullptr ? nullptr : FindOrAddThreadLog(*table, platform::CurrentThreadId());
}

}  // namespace quorvel
