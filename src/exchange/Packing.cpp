// The bzip2 library's stream interface with the parameters of the file
// interface it wraps (block size 5, verbosity 0, work factor 30; small mode
// off), fed through platform::File so that the files keep their sharing
// modes. The compressed bytes are those the file interface would write.
#include "exchange/Packing.h"

#include <bzlib.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/File.h"

namespace quorvel::exchange {

namespace {

using platform::File;
using platform::FileAccess;
using platform::FileDisposition;
using platform::FileShare;

constexpr int kBlockSize100k = 5;
constexpr int kVerbosity = 0;
constexpr int kWorkFactor = 30;
constexpr int kSmallMode = 0;
constexpr size_t kStreamChunk = 64 * 1024;  // compressed bytes per read or write
constexpr size_t kLargestBuffer = 16 * 1024 * 1024;
constexpr uint64_t kLargestUnpacked = 0xFFFFFFFFu;

size_t BufferSizeFor(size_t requested, const File& source) {
  if (requested != 0) return requested;
  return static_cast<size_t>(std::clamp<uint64_t>(source.Length(), 1, kLargestBuffer));
}

uint64_t TotalOut(const bz_stream& stream) {
  return uint64_t{stream.total_out_hi32} << 32 | stream.total_out_lo32;
}

uint64_t TotalIn(const bz_stream& stream) {
  return uint64_t{stream.total_in_hi32} << 32 | stream.total_in_lo32;
}

class Compressor {
 public:
  Compressor() { ready_ = BZ2_bzCompressInit(&stream_, kBlockSize100k, kVerbosity, kWorkFactor) == BZ_OK; }
  ~Compressor() {
    if (ready_) BZ2_bzCompressEnd(&stream_);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  bool ready() const { return ready_; }

  // Compresses `size` bytes (BZ_RUN) or finishes the stream (BZ_FINISH),
  // writing the output to `target`.
  bool Run(const char* data, size_t size, int action, File& target) {
    stream_.next_in = const_cast<char*>(data);
    stream_.avail_in = static_cast<unsigned>(size);
    const int done = action == BZ_FINISH ? BZ_STREAM_END : BZ_RUN_OK;
    for (;;) {
      stream_.next_out = output_.data();
      stream_.avail_out = static_cast<unsigned>(output_.size());
      const int result = BZ2_bzCompress(&stream_, action);
      if (result != done && result != (action == BZ_FINISH ? BZ_FINISH_OK : BZ_RUN_OK)) return false;
      target.Write(output_.data(), output_.size() - stream_.avail_out);
      if (action == BZ_FINISH ? result == BZ_STREAM_END : stream_.avail_in == 0) return true;
    }
  }
  uint64_t compressedBytes() const { return TotalOut(stream_); }

 private:
  bz_stream stream_{};
  bool ready_ = false;
  std::vector<char> output_ = std::vector<char>(kStreamChunk);
};

class Decompressor {
 public:
  Decompressor() { ready_ = BZ2_bzDecompressInit(&stream_, kVerbosity, kSmallMode) == BZ_OK; }
  ~Decompressor() {
    if (ready_) BZ2_bzDecompressEnd(&stream_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  bool ready() const { return ready_; }
  bz_stream& stream() { return stream_; }

 private:
  bz_stream stream_{};
  bool ready_ = false;
};

const char* DescribeBzip2Error(int result) {
  switch (result) {
    case BZ_DATA_ERROR_MAGIC: return "the data is not a bzip2 stream";
    case BZ_DATA_ERROR: return "the bzip2 stream is corrupt";
    case BZ_MEM_ERROR: return "out of memory while unpacking";
    default: return "bzip2 failed";
  }
}

// Holds the output back until the expected head is complete and judged, and
// keeps it within the length the head allows.
class ExpectedOutput {
 public:
  // The bytes go to `target`, or with none to the end of `memory`.
  ExpectedOutput(File* target, std::string* memory, const UnpackExpectation* expected)
      : target_(target), memory_(memory), expected_(expected),
        limit_(expected == nullptr ? kLargestUnpacked : 0) {}

  // False, with the reason in `problem`, when the bytes cannot belong.
  bool Write(const char* data, size_t size, std::string& problem) {
    if (expected_ != nullptr && head_.size() < expected_->headSize) {
      const size_t take = std::min(size, expected_->headSize - head_.size());
      head_.insert(head_.end(), data, data + take);
      data += take;
      size -= take;
      if (head_.size() < expected_->headSize) return true;
      limit_ = std::min({kLargestUnpacked, expected_->limit(head_.data()), expected_->most});
      if (limit_ < head_.size()) {
        problem = "the unpacked data does not begin as expected";
        return false;
      }
      Put(reinterpret_cast<const char*>(head_.data()), head_.size());
    }
    if (written_ + size > limit_) {
      beyondLimit_ = expected_ != nullptr && written_ + size > expected_->most;
      problem = expected_ == nullptr ? "the unpacked data exceeds 4 GiB"
                : beyondLimit_
                    ? "the unpacked data exceeds " + std::to_string(expected_->most) + " bytes"
                    : "the unpacked data is longer than its head announces";
      return false;
    }
    Put(data, size);
    return true;
  }

  bool beyondLimit() const { return beyondLimit_; }

  // False when the stream ended before the expected head was complete.
  bool Complete(std::string& problem) {
    if (expected_ == nullptr || head_.size() == expected_->headSize) return true;
    problem = "the unpacked data is too short";
    return false;
  }

 private:
  void Put(const char* data, size_t size) {
    if (target_ != nullptr) {
      target_->Write(data, size);
    } else {
      memory_->append(data, size);
    }
    written_ += size;
  }

  File* target_;
  std::string* memory_;
  const UnpackExpectation* expected_;
  uint64_t limit_;
  uint64_t written_ = 0;
  bool beyondLimit_ = false;
  std::vector<uint8_t> head_;
};

bool Unpack(File& source, File* target, std::string* memory, size_t bufferSize,
            const UnpackExpectation* expected, UnpackReport& report) {
  Decompressor decompressor;
  if (!decompressor.ready()) {
    report.problem = "bzip2 cannot start";
    return false;
  }
  bz_stream& stream = decompressor.stream();
  std::vector<char> input(kStreamChunk);
  // The unpacked bytes go out in the given steps, but never in writes smaller
  // than a stream chunk: a system call per 4096 bytes costs a tenth of the
  // time of unpacking a text file.
  std::vector<char> output(std::max(bufferSize, kStreamChunk));
  ExpectedOutput out(target, memory, expected);
  bool sourceEnded = false;
  for (;;) {
    if (stream.avail_in == 0 && !sourceEnded) {
      const size_t got = source.Read(input.data(), input.size());
      sourceEnded = got == 0;
      stream.next_in = input.data();
      stream.avail_in = static_cast<unsigned>(got);
    }
    stream.next_out = output.data();
    stream.avail_out = static_cast<unsigned>(output.size());
    const int result = BZ2_bzDecompress(&stream);
    report.offset = TotalIn(stream);
    if (result != BZ_OK && result != BZ_STREAM_END) {
      report.problem = DescribeBzip2Error(result);
      return false;
    }
    const size_t produced = output.size() - stream.avail_out;
    if (!out.Write(output.data(), produced, report.problem)) {
      report.beyondLimit = out.beyondLimit();
      return false;
    }
    if (result == BZ_STREAM_END) {
      if (!out.Complete(report.problem)) return false;
      report.streamLength = TotalIn(stream);
      return true;
    }
    if (sourceEnded && stream.avail_in == 0 && produced == 0) {
      report.problem = "the bzip2 stream ends early";
      return false;
    }
  }
}

}  // namespace

bool PackFile(const std::string& source, const std::string& target, size_t bufferSize) {
  try {
    std::optional<File> in =
        File::TryOpen(source, FileAccess::Read, FileShare::DenyWrite, FileDisposition::OpenExisting);
    if (!in) return false;
    const size_t size = BufferSizeFor(bufferSize, *in);
    std::optional<File> out =
        File::TryOpen(target, FileAccess::Write, FileShare::DenyNone, FileDisposition::CreateAlways);
    if (!out) return false;
    Compressor compressor;
    if (!compressor.ready()) return false;
    std::vector<char> buffer(size);
    for (;;) {
      const size_t got = in->Read(buffer.data(), size);
      if (got != 0 && !compressor.Run(buffer.data(), got, BZ_RUN, *out)) return false;
      if (got < size) break;
    }
    in->Close();
    if (!compressor.Run(nullptr, 0, BZ_FINISH, *out)) return false;
    const uint32_t length = static_cast<uint32_t>(compressor.compressedBytes());
    const unsigned char trailer[4] = {static_cast<unsigned char>(length),
                                      static_cast<unsigned char>(length >> 8),
                                      static_cast<unsigned char>(length >> 16),
                                      static_cast<unsigned char>(length >> 24)};
    out->Write(trailer, sizeof trailer);
    return true;
  } catch (...) {
    return false;
  }
}

namespace {

// Unpacks `source` into the file `target` when given, else into `memory`.
bool UnpackInto(const std::string& source, const std::string* target, std::string* memory,
                size_t bufferSize, UnpackReport* report, const UnpackExpectation* expected) {
  UnpackReport ignored;
  UnpackReport& result = report != nullptr ? *report : ignored;
  result = UnpackReport();
  if (memory != nullptr) memory->clear();
  try {
    if (!IsPackedFile(source)) {
      result.problem = "the file is not packed";
      return false;
    }
    std::optional<File> out;
    if (target != nullptr) {
      out = File::TryOpen(*target, FileAccess::Write, FileShare::Exclusive,
                          FileDisposition::CreateAlways);
      if (!out) {
        result.problem = "the target cannot be created";
        return false;
      }
    }
    std::optional<File> in =
        File::TryOpen(source, FileAccess::Read, FileShare::DenyNone, FileDisposition::OpenExisting);
    if (!in) {
      result.problem = "the packed file cannot be opened";
      return false;
    }
    const size_t size = out ? BufferSizeFor(bufferSize, *in) : kStreamChunk;
    if (Unpack(*in, out ? &*out : nullptr, memory, size, expected, result)) return true;
  } catch (const std::bad_alloc&) {
    result.problem = "out of memory while unpacking";
  } catch (const std::exception& error) {
    result.problem = error.what();
  } catch (...) {
    result.problem = "unpacking failed";
  }
  if (memory != nullptr) *memory = std::string();
  return false;
}

}  // namespace

bool UnpackFile(const std::string& source, const std::string& target, size_t bufferSize,
                UnpackReport* report, const UnpackExpectation* expected) {
  return UnpackInto(source, &target, nullptr, bufferSize, report, expected);
}

bool UnpackIntoMemory(const std::string& source, std::string& unpacked, UnpackReport* report,
                      const UnpackExpectation* expected) {
  return UnpackInto(source, nullptr, &unpacked, kStreamChunk, report, expected);
}

bool IsPackedFile(const std::string& path) {
  try {
    std::optional<File> file =
        File::TryOpen(path, FileAccess::Read, FileShare::DenyNone, FileDisposition::OpenExisting);
    if (!file) return false;
    unsigned char head[4];
    if (file->Read(head, sizeof head) != sizeof head) return false;
    return head[0] == 'B' && head[1] == 'Z' && head[2] == 'h' && head[3] >= '1' && head[3] <= '9';
  } catch (...) {
    return false;
  }
}

}  // namespace quorvel::exchange
