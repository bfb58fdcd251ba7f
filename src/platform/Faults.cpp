// One armed plan for the process. Every counter is atomic so that calls from
// several threads count once each; the plan itself is set only between a
// test's own calls.
#include "platform/Faults.h"

#include <atomic>
#include <cerrno>

namespace quorvel::platform {

namespace {

struct Plan {
  std::atomic<bool> armed{false};
  std::atomic<uint32_t> calls[kFileOperationKinds];
  std::atomic<uint32_t> failAt[kFileOperationKinds];  // 0: no failure planned
  std::atomic<bool> diskLimited{false};
  std::atomic<uint64_t> diskLeft{0};
  std::atomic<bool> fired{false};
};

Plan plan;

int Index(FileOperation operation) { return static_cast<int>(operation); }

}  // namespace

FileFaults::FileFaults() {
  for (int i = 0; i < kFileOperationKinds; ++i) {
    plan.calls[i] = 0;
    plan.failAt[i] = 0;
  }
  plan.diskLimited = false;
  plan.fired = false;
  plan.armed = true;
}

FileFaults::~FileFaults() { plan.armed = false; }

void FileFaults::Fail(FileOperation operation, uint32_t nth) {
  plan.failAt[Index(operation)] = plan.calls[Index(operation)] + nth;
}

void FileFaults::FillDiskAfter(uint64_t bytes) {
  plan.diskLeft = bytes;
  plan.diskLimited = true;
}

uint32_t FileFaults::Count(FileOperation operation) const { return plan.calls[Index(operation)]; }

bool FileFaults::Fired() const { return plan.fired; }

int InjectedFileError(FileOperation operation, uint64_t size, uint64_t* allowed) {
  if (allowed != nullptr) *allowed = size;
  if (!plan.armed.load(std::memory_order_relaxed)) return 0;
  const uint32_t call = ++plan.calls[Index(operation)];
  uint32_t due = call;
  if (plan.failAt[Index(operation)].compare_exchange_strong(due, 0)) {
    plan.fired = true;
    return EIO;
  }
  if (operation != FileOperation::Write || !plan.diskLimited) return 0;
  uint64_t left = plan.diskLeft.load();
  while (!plan.diskLeft.compare_exchange_weak(left, left >= size ? left - size : 0)) {
  }
  if (left >= size) return 0;
  if (allowed != nullptr) *allowed = left;
  plan.fired = true;
  return ENOSPC;
}

}  // namespace quorvel::platform
