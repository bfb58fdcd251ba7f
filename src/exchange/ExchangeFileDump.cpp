// The dump reads the file with the same header, directory and value readers
// as RecordFile, but goes on past damage where it can, so that one run shows
// everything that is wrong.
#include "exchange/ExchangeFileDump.h"

#include <cstdio>
#include <optional>
#include <set>

#include "exchange/Crc32.h"
#include "exchange/DumpText.h"
#include "exchange/Packing.h"
#include "exchange/RecordDirectory.h"
#include "exchange/RecordValues.h"
#include "frame/UniqueNames.h"
#include "platform/CodePages.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {

namespace {

using platform::File;

constexpr size_t kObjectBytesShown = 32;
constexpr int kDeepestBlockShown = 64;  // a chain of blocks must not exhaust the stack

std::string ObjectBytes(const std::string& bytes) {
  std::string text = std::to_string(bytes.size()) + " bytes";
  if (bytes.empty()) return text;
  text += ":";
  char hex[4];
  for (size_t i = 0; i < bytes.size() && i < kObjectBytesShown; ++i) {
    std::snprintf(hex, sizeof hex, " %02X", static_cast<uint8_t>(bytes[i]));
    text += hex;
  }
  return bytes.size() > kObjectBytesShown ? text + " ..." : text;
}

// Deletes the unpacked copy when the dump ends.
class TemporaryCopy {
 public:
  explicit TemporaryCopy(std::string path) : path_(std::move(path)) {}
  ~TemporaryCopy() { platform::RemoveFile(path_); }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Dumper {
 public:
  Dumper(File& file, std::ostream& out, std::ostream& problems)
      : file_(file), out_(out), problems_(problems) {}

  bool Run() {
    const uint64_t length = file_.Length();
    uint8_t bytes[kHeaderSize];
    if (file_.Read(bytes, sizeof bytes) != sizeof bytes) {
      return Damaged(length, "the header is cut off: the record file has " + std::to_string(length) + " bytes");
    }
    const RecordHeader header = DecodeHeader(bytes);
    if (header.magic != kMagicStandard && header.magic != kMagicAlternative) {
      return Damaged(0, "this is not a record file (its magic is " + Hex32(header.magic) + ")");
    }
    Crc32 crc;
    crc.OfFile(file_, kHeaderSize);
    out_ << "header: magic \"" << (header.magic == kMagicStandard ? "QVS" : "QLF")
         << "\", version " << header.version << ", header size " << header.headerSize
         << ", directory offset " << header.directoryOffset << ", file length "
         << header.fileLength << " (the record file has " << length << " bytes)\n";
    out_ << "CRC: " << Hex32(header.crc);
    if (crc.Value() == header.crc) {
      out_ << " (holds)\n";
    } else {
      out_ << " (does not hold: the bytes give " << Hex32(crc.Value()) << ")\n";
      Damaged(18, "the CRC does not hold");
    }
    RecordDamage damage;
    if (!ReadDirectory(file_, header.directoryOffset, blocks_, &damage)) {
      return Damaged(damage.offset, damage.what);
    }
    area_ = ValueArea{kHeaderSize, header.directoryOffset};
    out_ << blocks_.Size() << (blocks_.Size() == 1 ? " block\n" : " blocks\n");
    DumpBlock(0, 0);
    for (uint32_t i = 1; i < blocks_.Size(); ++i) {
      if (visited_.count(i) == 0) out_ << "block " << i << " is not reached from the root\n";
    }
    return !damaged_;
  }

 private:
  bool Damaged(uint64_t offset, const std::string& what) {
    problems_ << "damaged: " << what << " (offset " << offset << ")\n";
    damaged_ = true;
    return false;
  }

  void DumpBlock(uint32_t index, int depth) {
    visited_.insert(index);
    const std::string indent(2 * depth + 2, ' ');
    const TagEntryArray& entries = blocks_[index];
    out_ << "block " << index << ", " << entries.Size()
         << (entries.Size() == 1 ? " entry\n" : " entries\n");
    for (const TagEntry& entry : entries) {
      out_ << indent << entry.tag << " " << ValueTypeName(entry.type) << " ";
      DumpValue(entry, depth);
    }
  }

  void DumpValue(const TagEntry& entry, int depth) {
    RecordDamage damage;
    switch (entry.type) {
      case kTypeU32: out_ << entry.value << " (" << Hex32(entry.value) << ")\n"; return;
      case kTypeTime: out_ << Date(entry.value) << "\n"; return;
      case kTypeByte: out_ << (entry.value & 0xFF) << "\n"; return;
      case kTypeWide: {
        WideString text;
        if (ReadWideValue(file_, area_, entry.value, text, &damage)) {
          out_ << Quoted(text.View()) << "\n";
          return;
        }
        break;
      }
      case kTypeCoded: {
        CodedText coded;
        if (ReadCodedValue(file_, area_, entry.value, coded, &damage)) {
          out_ << "[code page " << coded.codePage << "] " << Quoted(coded.text.View()) << "\n";
          return;
        }
        break;
      }
      case kTypeObject: {
        std::string bytes;
        if (ReadObjectValue(file_, area_, entry.value, bytes, &damage)) {
          out_ << ObjectBytes(bytes) << "\n";
          return;
        }
        break;
      }
      case kTypeFile: {
        FileValueHead head;
        if (ReadFileValueHead(file_, area_, entry.value, head, &damage)) {
          out_ << "file " << Quoted(head.name.text.View()) << " [code page " << head.name.codePage
               << "], " << head.dataSize << " bytes\n";
          return;
        }
        break;
      }
      case kTypeBlock:
        if (entry.value >= blocks_.Size()) {
          out_ << "\n";
          Damaged(entry.value, "the entry names block " + std::to_string(entry.value) +
                                   ", but there are " + std::to_string(blocks_.Size()));
        } else if (visited_.count(entry.value) != 0) {
          out_ << "\n";
          Damaged(entry.value, "block " + std::to_string(entry.value) + " is entered a second time");
        } else if (depth >= kDeepestBlockShown) {
          out_ << "-> block " << entry.value << " (nested too deep to be shown)\n";
        } else {
          out_ << "-> ";
          DumpBlock(entry.value, depth + 1);
        }
        return;
      default:
        out_ << entry.value << "\n";
        Damaged(entry.value, "unknown value type " + std::to_string(entry.type));
        return;
    }
    out_ << "\n";
    Damaged(damage.offset, damage.what);
  }

  RecordSource file_;
  std::ostream& out_;
  std::ostream& problems_;
  BlockList blocks_;
  ValueArea area_;
  std::set<uint32_t> visited_;
  bool damaged_ = false;
};

std::optional<uint32_t> TrailerAt(const std::string& path, uint64_t offset) {
  std::optional<File> file = File::TryOpen(path, platform::FileAccess::Read,
                                           platform::FileShare::DenyNone,
                                           platform::FileDisposition::OpenExisting);
  uint8_t bytes[4];
  if (!file) return std::nullopt;
  file->Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin);
  if (file->Read(bytes, sizeof bytes) != sizeof bytes) return std::nullopt;
  return LoadU32(bytes);
}

}  // namespace

bool DumpExchangeFile(const std::string& path, std::ostream& out, std::ostream& problems) {
  try {
    const std::optional<uint64_t> size = platform::FileLength(path);
    if (!size) {
      problems << "cannot read " << path << "\n";
      return false;
    }
    out << "file: " << path << " (" << *size << " bytes)\n";
    std::string recordPath = path;
    std::optional<TemporaryCopy> unpacked;
    bool trailerDiffers = false;
    if (IsPackedFile(path)) {
      unpacked.emplace(UniqueTempName("qvz"));
      UnpackReport report;
      if (!UnpackFile(path, unpacked->path(), kPackingBuffer, &report, &kUnpackedRecordFile)) {
        out << "packed: yes\n";
        problems << "damaged: " << report.problem << " (offset " << report.offset << ")\n";
        return false;
      }
      out << "packed: yes, a bzip2 stream of " << report.streamLength << " bytes";
      const std::optional<uint32_t> trailer = TrailerAt(path, report.streamLength);
      if (!trailer) {
        out << ", without its length trailer\n";
      } else {
        out << ", trailer " << *trailer << (*trailer == report.streamLength ? "\n" : " (differs)\n");
        if (*trailer != report.streamLength) {
          problems << "damaged: the length trailer says " << *trailer << " bytes, the stream has "
                   << report.streamLength << " (offset " << report.streamLength << ")\n";
          trailerDiffers = true;
        }
      }
      recordPath = unpacked->path();
    } else {
      out << "packed: no\n";
    }
    File file = File::Open(recordPath, platform::FileAccess::Read, platform::FileShare::DenyNone,
                           platform::FileDisposition::OpenExisting);
    return Dumper(file, out, problems).Run() && !trailerDiffers;
  } catch (const std::exception& error) {
    problems << "cannot read " << path << ": " << error.what() << "\n";
    return false;
  }
}

}  // namespace quorvel::exchange
