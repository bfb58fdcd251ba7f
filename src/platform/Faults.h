// Fault injection for tests: the platform's file services can be told to
// fail the n-th open, read, write, sync or rename from now on, or to act as
// if the disk filled up, the way the system itself fails them. Only tests arm
// it; unarmed, each file call pays one relaxed atomic load.
//
//   platform::FileFaults faults;                        // counting starts
//   faults.Fail(platform::FileOperation::Write, 2);    // the 2nd write fails
//   faults.FillDiskAfter(4096);                        // ENOSPC past 4 KiB
//   ... run the operation ...
//   EXPECT_TRUE(faults.Fired());
//
// Counts and faults are process-wide, whichever thread makes the call, and
// end with the FileFaults object (one at a time).
#pragma once

#include <cstdint>

namespace quorvel::platform {

enum class FileOperation { Open, Read, Write, Sync, Rename };
inline constexpr int kFileOperationKinds = 5;

class FileFaults {
 public:
  FileFaults();
  ~FileFaults();
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;

  // The `nth` call of `operation` from now (1: the next) fails with an
  // input/output error; only once. A later Fail of the same kind replaces it.
  void Fail(FileOperation operation, uint32_t nth);
  // Writes succeed for `bytes` more bytes; the write that crosses the limit
  // stores what fits and fails with "disk full", as does every later one.
  void FillDiskAfter(uint64_t bytes);
  // Calls of `operation` since this object was made.
  uint32_t Count(FileOperation operation) const;
  // Whether an injected failure has been reported to a caller.
  bool Fired() const;
};

// For the platform's file code: the system error number the call that is
// starting must fail with, or 0. `size` is the byte count of a write; when
// the disk fills up in the middle of it, `*allowed` gets the part that still
// fits (the whole size when nothing is injected).
int InjectedFileError(FileOperation operation, uint64_t size = 0, uint64_t* allowed = nullptr);

}  // namespace quorvel::platform
