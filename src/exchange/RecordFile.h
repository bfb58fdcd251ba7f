// RecordFile: an unpacked record file, a random-access container of typed
// values, each addressed by a 16-bit tag inside a block. Values are appended
// and never moved; the directory of all blocks goes after them, and the
// 22-byte header carries its offset and a CRC-32 of everything after the
// header. Accessors work on the current block and answer true when done or
// found; a failed Get gives its stated default.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/ArchiveForms.h"
#include "exchange/RecordFormat.h"
#include "exchange/RecordValues.h"
#include "platform/File.h"
#include "quorvel/CodedText.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

inline constexpr uint16_t kTagKind = 10000;
inline constexpr uint8_t kNoKind = 255;

class RecordFile {
 public:
  enum Mode : uint32_t { kClosed = 0, kReadOnly = 1, kWritable = 2 };

  RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  // Closes an open file, writing directory and header when writable.
  virtual ~RecordFile();

  // Opens `path` (read-only with deny-none sharing, else read-write and
  // exclusive), checking the magic and the CRC and reading the directory; a
  // missing or empty file is made a new record file when `create` is set.
  // Closes an open file first.
  virtual bool Open(const std::string& path, bool readOnly, bool create,
                    bool alternativeMagic = false);
  // Opens a whole record file held in memory, read-only, with the checks of
  // Open; nothing is read from or written to disk. Closes an open file first.
  bool OpenInMemory(std::string bytes, bool alternativeMagic = false);
  // Writes the directory and the header when writable, then closes.
  virtual bool Close();

  bool IsOpen() const { return mode_ != kClosed; }
  Mode GetMode() const { return mode_; }
  const std::string& WorkingPath() const { return path_; }

  // The entries of the current block, in the order they were put.
  const TagEntryArray* CurrentEntries() const { return current_; }
  bool Find(uint16_t tag, TagEntry& entry) const;
  bool Remove(uint16_t tag);

  // Put refuses an existing tag; Set replaces it.
  bool PutU32(uint16_t tag, uint32_t value) { return PutInline(tag, kTypeU32, value); }
  bool PutTime(uint16_t tag, uint32_t seconds) { return PutInline(tag, kTypeTime, seconds); }
  bool PutByte(uint16_t tag, uint8_t value) { return PutInline(tag, kTypeByte, value); }
  bool SetU32(uint16_t tag, uint32_t value);
  bool SetTime(uint16_t tag, uint32_t seconds);
  bool SetByte(uint16_t tag, uint8_t value);
  // Defaults: 0, 0 and the current time.
  bool GetU32(uint16_t tag, uint32_t& value);
  bool GetByte(uint16_t tag, uint8_t& value);
  bool GetTime(uint16_t tag, uint32_t& seconds);

  // Default: the empty text.
  bool PutWide(uint16_t tag, const WideString& text);
  bool GetWide(uint16_t tag, WideString& text);
  // Get first empties the text (the code page stays); a stored empty text
  // gives the default CodedText (code page 1252).
  bool PutCoded(uint16_t tag, const CodedText& coded);
  bool GetCoded(uint16_t tag, CodedText& coded);

  // An object in its archive form (a Store and a Load for T must exist).
  template <typename T>
  bool PutObject(uint16_t tag, const T& object) {
    ArchiveWriter archive;
    Store(archive, object);
    return PutObjectBytes(tag, archive.Bytes());
  }
  // Fails when the record's bytes do not hold the object.
  template <typename T>
  bool GetObject(uint16_t tag, T& object) {
    std::string bytes;
    if (!GetObjectBytes(tag, bytes)) return false;
    try {
      ArchiveReader archive(bytes);
      Load(archive, object);
      return true;
    } catch (const ArchiveError&) {
      return false;
    }
  }
  bool PutObjectBytes(uint16_t tag, const std::string& bytes);
  bool GetObjectBytes(uint16_t tag, std::string& bytes);

  // A whole disk file with its display name; an empty or unreadable source
  // is refused.
  bool PutFile(uint16_t tag, const std::string& sourcePath, const CodedText& name);
  bool GetFileInfo(uint16_t tag, CodedText& name, uint32_t& size);
  // Writes the stored bytes to `targetPath`; an existing target is replaced,
  // read-only or not, only with `overwrite`.
  bool ExtractFile(uint16_t tag, const std::string& targetPath, bool overwrite);

  // Enters the block under `tag`, creating it when absent.
  bool CreateBlock(uint16_t tag);
  bool EnterBlock(uint16_t tag);
  // Back to the enclosing block (never above the root).
  void LeaveBlock();

  // The record kind of the current block's tag 10000; kNoKind when absent.
  uint8_t Kind();
  bool SetKind(uint8_t kind);

 protected:
  // The record file part of Close, without virtual dispatch.
  bool CloseRecord();

 private:
  bool OpenExisting(bool readOnly);
  // Checks the magic and the CRC and reads the directory of `bytes`; then
  // the file is open on them in `mode`.
  bool OpenOn(RecordSource bytes, Mode mode);
  // `reserved`: the path is an empty file that stands for the new one.
  bool CreateNew(bool reserved);
  bool WriteDirectoryAndHeader();
  void Reset();
  bool Writable() const { return mode_ == kWritable; }
  bool CanAddTo(uint16_t tag) const;
  const TagEntry* Lookup(uint16_t tag, uint16_t type) const;
  bool PutInline(uint16_t tag, uint16_t type, uint32_t value);
  // Writes a whole record at the append offset and enters it.
  bool AppendRecord(uint16_t tag, uint16_t type, const std::string& record);
  ValueArea Area() const { return ValueArea{kHeaderSize, appendOffset_}; }

  platform::File file_;
  std::string memory_;      // the whole file, when it is open in memory
  RecordSource bytes_{file_};  // what values are read from: file_ or memory_
  std::string path_;
  Mode mode_ = kClosed;
  RecordHeader header_;
  BlockList blocks_{kBlockListGrowBy};
  TagEntryArray* current_ = nullptr;
  GrowableArray<uint16_t> blockStack_;
  uint32_t appendOffset_ = 0;  // next value and, at close, the directory
  bool alternativeMagic_ = false;
};

}  // namespace quorvel::exchange
