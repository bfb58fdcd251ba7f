// Packing of whole files with bzip2: a packed file is a standard bzip2
// stream (block size 5) followed by a u32 trailer, the length of that stream
// in bytes. None of these functions lets an error escape: failure is false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::exchange {

// The step in which the layer packs and unpacks.
inline constexpr size_t kPackingBuffer = 4096;

// Packs `source` into `target` (created or replaced). A buffer size of 0
// means the source's length. A target left by a failure stays.
bool PackFile(const std::string& source, const std::string& target, size_t bufferSize);

// Why an unpack failed, and how far into the packed file it got.
struct UnpackReport {
  uint64_t streamLength = 0;  // bytes of the stream, when it ended properly
  uint64_t offset = 0;        // bytes of the packed file consumed at a failure
  std::string problem;        // empty on success
  bool beyondLimit = false;   // the output would pass the expectation's `most`
};

// What the unpacked bytes must be, so that a small hostile file cannot fill
// the disk: the first `headSize` bytes are shown to `limit` as soon as they
// exist, and it answers how long the whole output may be, or 0 when the head
// cannot be what the caller expects.
struct UnpackExpectation {
  size_t headSize = 0;
  uint64_t (*limit)(const uint8_t* head) = nullptr;
  // Whatever the head says, the output never grows past this.
  uint64_t most = UINT64_MAX;
};

// Unpacks the first bzip2 stream of `source` into `target`; what follows the
// stream (the trailer) is never read. Fails at once, creating nothing, when
// the source is not packed; bytes written before a failure stay in the target.
// An output beyond 4 GiB, which no record file can be, fails too. With an
// expectation, unpacking stops before writing a head it refuses, or a byte
// beyond the length it allows.
bool UnpackFile(const std::string& source, const std::string& target, size_t bufferSize,
                UnpackReport* report = nullptr, const UnpackExpectation* expected = nullptr);

// As UnpackFile, into `unpacked` in memory instead of a file: nothing is
// written to disk. On a failure `unpacked` is left empty.
bool UnpackIntoMemory(const std::string& source, std::string& unpacked,
                      UnpackReport* report = nullptr, const UnpackExpectation* expected = nullptr);

// "BZh" followed by a digit from 1 to 9.
bool IsPackedFile(const std::string& path);

}  // namespace quorvel::exchange
