// One list of fields for writing and for reading a record structure: the
// structure lists its fields once, in tag order, through a FieldWriter (Put,
// or Set when replacing) or a FieldReader (Get). Every accessor is called even
// after one fails; AllDone is the logical AND of their results.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/NoteValues.h"
#include "exchange/RecordFile.h"

namespace quorvel::exchange {

class FieldWriter {
 public:
  explicit FieldWriter(RecordFile& file, bool replace = false) : file_(file), replace_(replace) {}

  void U32(uint16_t tag, uint32_t value) {
    Count(replace_ ? file_.SetU32(tag, value) : file_.PutU32(tag, value));
  }
  void Time(uint16_t tag, uint32_t seconds) {
    Count(replace_ ? file_.SetTime(tag, seconds) : file_.PutTime(tag, seconds));
  }
  void Byte(uint16_t tag, uint8_t value) {
    Count(replace_ ? file_.SetByte(tag, value) : file_.PutByte(tag, value));
  }
  void Wide(uint16_t tag, const WideString& text) { Count(file_.PutWide(tag, text)); }
  void Coded(uint16_t tag, const CodedText& coded) { Count(file_.PutCoded(tag, coded)); }
  void Note(uint16_t tag, const std::string& note) { Count(PutNote(file_, tag, note)); }
  template <typename T>
  void Object(uint16_t tag, const T& object) {
    Count(file_.PutObject(tag, object));
  }

  bool AllDone() const { return allDone_; }

 private:
  void Count(bool done) { allDone_ = allDone_ && done; }

  RecordFile& file_;
  bool replace_;
  bool allDone_ = true;
};

class FieldReader {
 public:
  explicit FieldReader(RecordFile& file) : file_(file) {}

  void U32(uint16_t tag, uint32_t& value) { Count(file_.GetU32(tag, value)); }
  void Time(uint16_t tag, uint32_t& seconds) { Count(file_.GetTime(tag, seconds)); }
  void Byte(uint16_t tag, uint8_t& value) { Count(file_.GetByte(tag, value)); }
  void Wide(uint16_t tag, WideString& text) { Count(file_.GetWide(tag, text)); }
  void Coded(uint16_t tag, CodedText& coded) { Count(file_.GetCoded(tag, coded)); }
  void Note(uint16_t tag, std::string& note) { Count(GetNote(file_, tag, note)); }
  template <typename T>
  void Object(uint16_t tag, T& object) {
    Count(file_.GetObject(tag, object));
  }

  bool AllDone() const { return allDone_; }

 private:
  void Count(bool done) { allDone_ = allDone_ && done; }

  RecordFile& file_;
  bool allDone_ = true;
};

// Writes a structure's fields into a new sub-block `block` of the current
// block; fails without writing when that block exists already.
template <typename ListFields>
bool WriteNewBlock(RecordFile& file, uint16_t block, ListFields listFields) {
  if (file.EnterBlock(block)) {
    file.LeaveBlock();
    return false;
  }
  if (!file.CreateBlock(block)) return false;
  FieldWriter fields(file);
  listFields(fields);
  file.LeaveBlock();
  return fields.AllDone();
}

// Reads a structure's fields from the sub-block `block`; fails when it is absent.
template <typename ListFields>
bool ReadBlock(RecordFile& file, uint16_t block, ListFields listFields) {
  if (!file.EnterBlock(block)) return false;
  FieldReader fields(file);
  listFields(fields);
  file.LeaveBlock();
  return fields.AllDone();
}

}  // namespace quorvel::exchange
