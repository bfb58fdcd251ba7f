// The record file container. Every length read from the file is bounded by
// the value area before it is used, so a damaged file fails an Open or a Get
// instead of misleading a reader. File errors in the header and directory
// code are logged with their site numbers.
#include "exchange/RecordFile.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "exchange/Crc32.h"
#include "exchange/RecordDirectory.h"
#include "frame/LogEvents.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {

namespace {

using platform::File;
using platform::FileAccess;
using platform::FileDisposition;
using platform::FileError;
using platform::FileShare;
using platform::SeekOrigin;

constexpr size_t kCopyChunk = 20000;
constexpr uint64_t kLargestFile = 0xFFFFFFFF;

void AppendU16(std::string& bytes, uint16_t value) {
  uint8_t field[2];
  StoreU16(field, value);
  bytes.append(reinterpret_cast<const char*>(field), 2);
}

void AppendU32(std::string& bytes, uint32_t value) {
  uint8_t field[4];
  StoreU32(field, value);
  bytes.append(reinterpret_cast<const char*>(field), 4);
}

void AppendUnits(std::string& bytes, std::u16string_view units) {
  for (const char16_t unit : units) AppendU16(bytes, unit);
}

}  // namespace

RecordFile::RecordFile() = default;

RecordFile::~RecordFile() {
  try {
    CloseRecord();
  } catch (...) {
  }
}

bool RecordFile::Open(const std::string& path, bool readOnly, bool create, bool alternativeMagic) {
  if (IsOpen()) CloseRecord();
  path_ = path;
  alternativeMagic_ = alternativeMagic;
  header_ = RecordHeader();
  header_.magic = alternativeMagic ? kMagicAlternative : kMagicStandard;
  try {
    // An empty file is a name reserved for a new record file (see UniqueTempName).
    const std::optional<uint64_t> length = platform::FileLength(path);
    if (length && !(create && *length == 0)) return OpenExisting(readOnly);
    return create && CreateNew(length.has_value());
  } catch (const std::exception&) {
    Reset();
    return false;
  }
}

bool RecordFile::OpenInMemory(std::string bytes, bool alternativeMagic) {
  if (IsOpen()) CloseRecord();
  path_.clear();
  alternativeMagic_ = alternativeMagic;
  header_ = RecordHeader();
  header_.magic = alternativeMagic ? kMagicAlternative : kMagicStandard;
  memory_ = std::move(bytes);
  try {
    if (OpenOn(RecordSource(memory_), kReadOnly)) return true;
  } catch (const std::exception&) {
  }
  Reset();
  return false;
}

bool RecordFile::OpenExisting(bool readOnly) {
  std::optional<File> file =
      File::TryOpen(path_, readOnly ? FileAccess::Read : FileAccess::ReadWrite,
                    readOnly ? FileShare::DenyNone : FileShare::Exclusive,
                    FileDisposition::OpenExisting);
  if (!file) return false;
  file_ = std::move(*file);
  if (OpenOn(RecordSource(file_), readOnly ? kReadOnly : kWritable)) return true;
  file_.Close();
  return false;
}

bool RecordFile::OpenOn(RecordSource bytes, Mode mode) {
  uint8_t head[kHeaderSize];
  try {
    if (bytes.Read(head, sizeof head) != sizeof head) return false;
  } catch (const FileError& error) {
    LogException(kSiteHeaderRead, error);
    return false;
  }
  const RecordHeader header = DecodeHeader(head);
  if (header.magic != header_.magic) return false;
  try {
    Crc32 crc;
    if (!crc.OfFile(bytes, kHeaderSize) || crc.Value() != header.crc) return false;
  } catch (const FileError&) {
    return false;
  }
  BlockList blocks(kBlockListGrowBy);
  if (!ReadDirectory(bytes, header.directoryOffset, blocks, nullptr)) return false;
  bytes_ = bytes;
  header_ = header;
  blocks_ = std::move(blocks);
  appendOffset_ = header.directoryOffset;
  blockStack_.RemoveAll();
  blockStack_.Add(0);
  current_ = blocks_.At(0);
  mode_ = mode;
  return true;
}

bool RecordFile::CreateNew(bool reserved) {
  std::optional<File> file =
      File::TryOpen(path_, FileAccess::ReadWrite, FileShare::Exclusive,
                    reserved ? FileDisposition::OpenExisting : FileDisposition::CreateNew);
  if (!file || file->Length() != 0) return false;
  uint8_t bytes[kHeaderSize];
  EncodeHeader(header_, bytes);
  try {
    file->Write(bytes, sizeof bytes);
  } catch (const FileError& error) {
    LogException(kSiteHeaderWrite, error);
    return false;
  }
  file_ = std::move(*file);
  blocks_.RemoveAll();
  blocks_.Adopt(std::make_unique<TagEntryArray>());
  appendOffset_ = kHeaderSize;
  blockStack_.RemoveAll();
  blockStack_.Add(0);
  current_ = blocks_.At(0);
  mode_ = kWritable;
  return true;
}

bool RecordFile::Close() {
  if (!IsOpen()) return false;
  return CloseRecord();
}

bool RecordFile::CloseRecord() {
  if (!IsOpen()) return false;
  bool closed = true;
  if (mode_ == kWritable) closed = WriteDirectoryAndHeader();
  Reset();
  return closed;
}

void RecordFile::Reset() {
  file_.Close();
  memory_ = std::string();
  bytes_ = RecordSource(file_);
  blocks_.RemoveAll();
  blockStack_.RemoveAll();
  current_ = nullptr;
  mode_ = kClosed;
}

// The file ends with the directory: whatever an earlier close left after it
// is cut off, so the stored CRC covers exactly the live bytes.
bool RecordFile::WriteDirectoryAndHeader() {
  const std::string directory = EncodeDirectory(blocks_);
  if (directory.empty()) return false;
  try {
    file_.Seek(appendOffset_, SeekOrigin::Begin);
    file_.Write(directory.data(), directory.size());
    file_.SetLength(uint64_t{appendOffset_} + directory.size());
  } catch (const FileError& error) {
    LogException(kSiteDirectoryWrite, error);
    return false;
  }
  try {
    Crc32 crc;
    RecordSource written(file_);
    crc.OfFile(written, kHeaderSize);
    header_.directoryOffset = appendOffset_;
    header_.crc = crc.Value();
    header_.fileLength = static_cast<uint32_t>(file_.Length());
    uint8_t bytes[kHeaderSize];
    EncodeHeader(header_, bytes);
    file_.Seek(0, SeekOrigin::Begin);
    file_.Write(bytes, sizeof bytes);
  } catch (const FileError& error) {
    LogException(kSiteHeaderUpdate, error);
    return false;
  }
  return true;
}

bool RecordFile::Find(uint16_t tag, TagEntry& entry) const {
  if (current_ == nullptr) return false;
  for (const TagEntry& candidate : *current_) {
    if (candidate.tag == tag) {
      entry = candidate;
      return true;
    }
  }
  return false;
}

const TagEntry* RecordFile::Lookup(uint16_t tag, uint16_t type) const {
  if (current_ == nullptr) return nullptr;
  for (const TagEntry& candidate : *current_) {
    if (candidate.tag == tag) return candidate.type == type ? &candidate : nullptr;
  }
  return nullptr;
}

bool RecordFile::Remove(uint16_t tag) {
  if (!Writable()) return false;
  for (uint32_t i = 0; i < current_->Size(); ++i) {
    if ((*current_)[i].tag == tag) {
      current_->RemoveAt(i);
      return true;
    }
  }
  return false;
}

bool RecordFile::CanAddTo(uint16_t tag) const {
  TagEntry existing;
  return Writable() && current_->Size() < kMostEntries && !Find(tag, existing);
}

bool RecordFile::PutInline(uint16_t tag, uint16_t type, uint32_t value) {
  if (!CanAddTo(tag)) return false;
  current_->Add(TagEntry{tag, type, value});
  return true;
}

bool RecordFile::SetU32(uint16_t tag, uint32_t value) {
  Remove(tag);
  return PutU32(tag, value);
}

bool RecordFile::SetTime(uint16_t tag, uint32_t seconds) {
  Remove(tag);
  return PutTime(tag, seconds);
}

bool RecordFile::SetByte(uint16_t tag, uint8_t value) {
  Remove(tag);
  return PutByte(tag, value);
}

bool RecordFile::GetU32(uint16_t tag, uint32_t& value) {
  const TagEntry* entry = Lookup(tag, kTypeU32);
  value = entry != nullptr ? entry->value : 0;
  return entry != nullptr;
}

bool RecordFile::GetByte(uint16_t tag, uint8_t& value) {
  const TagEntry* entry = Lookup(tag, kTypeByte);
  value = entry != nullptr ? static_cast<uint8_t>(entry->value) : 0;
  return entry != nullptr;
}

bool RecordFile::GetTime(uint16_t tag, uint32_t& seconds) {
  const TagEntry* entry = Lookup(tag, kTypeTime);
  seconds = entry != nullptr ? entry->value : platform::UtcSecondsNow();
  return entry != nullptr;
}

bool RecordFile::AppendRecord(uint16_t tag, uint16_t type, const std::string& record) {
  if (!CanAddTo(tag) || appendOffset_ + uint64_t{record.size()} > kLargestFile) return false;
  try {
    file_.Seek(appendOffset_, SeekOrigin::Begin);
    file_.Write(record.data(), record.size());
  } catch (const FileError&) {
    return false;
  }
  current_->Add(TagEntry{tag, type, appendOffset_});
  appendOffset_ += static_cast<uint32_t>(record.size());
  return true;
}

bool RecordFile::PutWide(uint16_t tag, const WideString& text) {
  const std::u16string_view units = text.View();
  if (units.size() > (kLargestFile - 4) / 2) return false;
  std::string record;
  record.reserve(4 + 2 * units.size());
  AppendU32(record, static_cast<uint32_t>(4 + 2 * units.size()));
  AppendUnits(record, units);
  return AppendRecord(tag, kTypeWide, record);
}

bool RecordFile::GetWide(uint16_t tag, WideString& text) {
  text.Resize(0);
  const TagEntry* entry = Lookup(tag, kTypeWide);
  return entry != nullptr && ReadWideValue(bytes_, Area(), entry->value, text);
}

// An empty text stores no code page; its record still counts 6 bytes, and
// the two unused bytes are written as zeros.
bool RecordFile::PutCoded(uint16_t tag, const CodedText& coded) {
  const std::u16string_view units = coded.text.View();
  if (units.size() > (kLargestFile - 6) / 2) return false;
  std::string record;
  record.reserve(6 + 2 * units.size());
  AppendU32(record, static_cast<uint32_t>(6 + 2 * units.size()));
  AppendU16(record, units.empty() ? 0 : coded.codePage);
  AppendUnits(record, units);
  return AppendRecord(tag, kTypeCoded, record);
}

bool RecordFile::GetCoded(uint16_t tag, CodedText& coded) {
  coded.text.Resize(0);
  const TagEntry* entry = Lookup(tag, kTypeCoded);
  return entry != nullptr && ReadCodedValue(bytes_, Area(), entry->value, coded);
}

bool RecordFile::PutObjectBytes(uint16_t tag, const std::string& bytes) {
  if (bytes.size() > kLargestFile - 4) return false;
  std::string record;
  record.reserve(4 + bytes.size());
  AppendU32(record, static_cast<uint32_t>(4 + bytes.size()));
  record += bytes;
  return AppendRecord(tag, kTypeObject, record);
}

bool RecordFile::GetObjectBytes(uint16_t tag, std::string& bytes) {
  bytes.clear();
  const TagEntry* entry = Lookup(tag, kTypeObject);
  return entry != nullptr && ReadObjectValue(bytes_, Area(), entry->value, bytes);
}

// The record is written in place at the append offset; only a complete copy
// enters the block and moves the append offset.
bool RecordFile::PutFile(uint16_t tag, const std::string& sourcePath, const CodedText& name) {
  if (!CanAddTo(tag)) return false;
  try {
    std::optional<File> source = File::TryOpen(sourcePath, FileAccess::Read, FileShare::DenyWrite,
                                               FileDisposition::OpenExisting);
    if (!source) return false;
    const uint64_t size = source->Length();
    const std::u16string_view units = name.text.View();
    const uint64_t length = size + 2 * uint64_t{units.size()} + 8;
    if (size == 0 || units.size() > 0xFFFF || appendOffset_ + length > kLargestFile) return false;
    std::string head;
    AppendU32(head, static_cast<uint32_t>(length));
    AppendU16(head, static_cast<uint16_t>(units.size()));
    AppendU16(head, name.codePage);
    AppendUnits(head, units);
    file_.Seek(appendOffset_, SeekOrigin::Begin);
    file_.Write(head.data(), head.size());
    std::vector<char> chunk(kCopyChunk);
    uint64_t copied = 0;
    while (copied < size) {
      const size_t got = source->Read(chunk.data(), static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - copied)));
      if (got == 0) return false;  // the source shrank under us
      file_.Write(chunk.data(), got);
      copied += got;
    }
    current_->Add(TagEntry{tag, kTypeFile, appendOffset_});
    appendOffset_ += static_cast<uint32_t>(length);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool RecordFile::GetFileInfo(uint16_t tag, CodedText& name, uint32_t& size) {
  size = 0;
  const TagEntry* entry = Lookup(tag, kTypeFile);
  FileValueHead head;
  if (entry == nullptr || !ReadFileValueHead(bytes_, Area(), entry->value, head)) return false;
  name = head.name;
  size = head.dataSize;
  return true;
}

bool RecordFile::ExtractFile(uint16_t tag, const std::string& targetPath, bool overwrite) {
  if (platform::IsExistingFile(targetPath)) {
    if (!overwrite) return false;
    platform::SetReadOnly(targetPath, false);
  }
  const TagEntry* entry = Lookup(tag, kTypeFile);
  FileValueHead head;
  if (entry == nullptr || !ReadFileValueHead(bytes_, Area(), entry->value, head)) return false;
  try {
    File target = File::Open(targetPath, FileAccess::Write, FileShare::Exclusive,
                             FileDisposition::CreateAlways);
    bytes_.SeekTo(head.dataOffset);
    std::vector<char> chunk(std::min<size_t>(kCopyChunk, head.dataSize));
    uint32_t left = head.dataSize;
    while (left > 0) {
      const size_t want = std::min<size_t>(chunk.size(), left);
      const size_t got = bytes_.Read(chunk.data(), want);
      target.Write(chunk.data(), got);
      if (got != want) return false;
      left -= static_cast<uint32_t>(got);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool RecordFile::CreateBlock(uint16_t tag) {
  TagEntry existing;
  if (Find(tag, existing)) return EnterBlock(tag);
  if (!CanAddTo(tag) || blocks_.Size() >= kMostEntries) return false;
  const auto index = static_cast<uint16_t>(blocks_.Size());
  TagEntryArray& block = blocks_.Adopt(std::make_unique<TagEntryArray>());
  current_->Add(TagEntry{tag, kTypeBlock, index});
  blockStack_.Add(index);
  current_ = &block;
  return true;
}

bool RecordFile::EnterBlock(uint16_t tag) {
  const TagEntry* entry = Lookup(tag, kTypeBlock);
  if (entry == nullptr || entry->value >= blocks_.Size()) return false;
  const auto index = static_cast<uint16_t>(entry->value);
  blockStack_.Add(index);
  current_ = blocks_.At(index);
  return true;
}

void RecordFile::LeaveBlock() {
  if (blockStack_.Size() <= 1) return;
  blockStack_.SetSize(blockStack_.Size() - 1);
  current_ = blocks_.At(blockStack_[blockStack_.Size() - 1]);
}

uint8_t RecordFile::Kind() {
  uint8_t kind = 0;
  return GetByte(kTagKind, kind) ? kind : kNoKind;
}

bool RecordFile::SetKind(uint8_t kind) { return SetByte(kTagKind, kind); }

}  // namespace quorvel::exchange
