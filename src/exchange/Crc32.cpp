// Slicing-by-16: table k gives the CRC of a byte followed by k zero bytes, so
// sixteen bytes fold in with sixteen independent lookups instead of a chain
// of sixteen dependent ones. Table 0 is the plain table of the definition.
// Long inputs go through carry-less multiplication (Crc32Folding.h) where the
// processor has it; the tables finish its remainder and the tail.
#include "exchange/Crc32.h"

#include <array>
#include <atomic>
#include <vector>

#include "exchange/Crc32Folding.h"
#include "platform/CpuFeatures.h"

namespace quorvel::exchange {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;
constexpr size_t kSlices = 16;
constexpr size_t kFileChunk = 10000;

using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t entry = i << 24;
    for (int bit = 0; bit < 8; ++bit) {
      entry = (entry & 0x80000000u) != 0 ? (entry << 1) ^ kPolynomial : entry << 1;
    }
    tables[0][i] = entry;
  }
  for (size_t k = 1; k < kSlices; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous << 8) ^ tables[0][previous >> 24];
    }
  }
  return tables;
}

constexpr Tables kTables = MakeTables();

inline uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline uint32_t Slice(uint32_t word, size_t highTable) {
  const auto& t = kTables;
  return t[highTable][word >> 24] ^ t[highTable - 1][(word >> 16) & 0xFF] ^
         t[highTable - 2][(word >> 8) & 0xFF] ^ t[highTable - 3][word & 0xFF];
}

uint32_t UpdateSliced(uint32_t crc, const uint8_t* p, size_t length) {
  while (length >= kSlices) {
    crc = Slice(crc ^ BigEndian32(p), 15) ^ Slice(BigEndian32(p + 4), 11) ^
          Slice(BigEndian32(p + 8), 7) ^ Slice(BigEndian32(p + 12), 3);
    p += kSlices;
    length -= kSlices;
  }
  // The short records of the side files end here: four bytes at a time.
  for (; length >= 4; p += 4, length -= 4) crc = Slice(crc ^ BigEndian32(p), 3);
  return UpdateCrc32ByteWise(crc, p, length);
}

Crc32Folder FolderOf(Crc32Path path) {
  if (path != Crc32Path::CarrylessMultiply || !platform::ProcessorFeatures().pclmul) return nullptr;
  return CarrylessCrc32Folder();
}

std::atomic<Crc32Path>& ChosenPath() {
  static std::atomic<Crc32Path> chosen{AvailableCrc32Paths().back()};
  return chosen;
}

uint32_t UpdateFastest(uint32_t crc, const uint8_t* p, size_t length) {
  if (length < kCrc32FoldingMinimum) return UpdateSliced(crc, p, length);
  if (const Crc32Folder fold = FolderOf(CurrentCrc32Path())) {
    uint8_t remainder[16];
    if (const size_t folded = fold(crc, p, length, remainder)) {
      crc = UpdateSliced(0, remainder, sizeof remainder);
      p += folded;
      length -= folded;
    }
  }
  return UpdateSliced(crc, p, length);
}

}  // namespace

std::vector<Crc32Path> AvailableCrc32Paths() {
  std::vector<Crc32Path> paths{Crc32Path::Table};
  if (FolderOf(Crc32Path::CarrylessMultiply) != nullptr) paths.push_back(Crc32Path::CarrylessMultiply);
  return paths;
}

bool UseCrc32Path(Crc32Path path) {
  if (path != Crc32Path::Table && FolderOf(path) == nullptr) return false;
  ChosenPath().store(path);
  return true;
}

Crc32Path CurrentCrc32Path() { return ChosenPath().load(); }

uint32_t UpdateCrc32ByteWise(uint32_t crc, const void* bytes, size_t length) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < length; ++i) crc = kTables[0][(crc >> 24) ^ p[i]] ^ (crc << 8);
  return crc;
}

bool Crc32::Update(const void* bytes, size_t length) {
  if (bytes == nullptr || length == 0) return false;
  value_ = UpdateFastest(value_, static_cast<const uint8_t*>(bytes), length);
  return true;
}

bool Crc32::OfFile(RecordSource& file, uint64_t start) {
  if (file.SeekTo(start) != start) return false;
  std::vector<uint8_t> chunk(kFileChunk);
  while (const size_t got = file.Read(chunk.data(), chunk.size())) Update(chunk.data(), got);
  return true;
}

uint32_t Crc32::Of(const void* bytes, size_t length) {
  Crc32 crc;
  crc.Update(bytes, length);
  return crc.Value();
}

}  // namespace quorvel::exchange
