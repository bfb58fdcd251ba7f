#include "exchange/RecordValues.h"

namespace quorvel::exchange {

namespace {

bool Fail(RecordDamage* damage, uint64_t offset, std::string what) {
  if (damage != nullptr) *damage = RecordDamage{offset, std::move(what)};
  return false;
}

// Reads `size` bytes at `offset`; false on a short read.
bool ReadAt(RecordSource& file, uint64_t offset, void* bytes, size_t size) {
  file.SeekTo(offset);
  return file.Read(bytes, size) == size;
}

// Reads the record length and the `bodySize` = L - 4 bytes that follow it,
// after checking that the record lies in the area and holds `minimumLength`.
bool ReadRecord(RecordSource& file, const ValueArea& area, uint32_t offset,
                uint32_t minimumLength, std::string& body, RecordDamage* damage) {
  try {
    if (offset < area.begin || uint64_t{offset} + 4 > area.end) {
      return Fail(damage, offset, "the value's offset lies outside the value area");
    }
    uint8_t head[4];
    if (!ReadAt(file, offset, head, sizeof head)) return Fail(damage, offset, "the value is cut off");
    const uint32_t length = LoadU32(head);
    if (length < minimumLength) {
      return Fail(damage, offset, "the record length " + std::to_string(length) +
                                      " is shorter than the record's own head");
    }
    if (uint64_t{offset} + length > area.end) {
      return Fail(damage, offset, "the record length " + std::to_string(length) +
                                      " runs past the value area");
    }
    body.resize(length - 4);
    if (file.Read(body.data(), body.size()) != body.size()) {
      return Fail(damage, offset, "the value is cut off");
    }
    return true;
  } catch (const platform::FileError& error) {
    return Fail(damage, offset, error.what());
  }
}

}  // namespace

std::u16string UnitsFromBytes(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = LoadU16(reinterpret_cast<const uint8_t*>(bytes.data()) + 2 * i);
  }
  return units;
}

bool ReadWideValue(RecordSource& file, const ValueArea& area, uint32_t offset, WideString& text,
                   RecordDamage* damage) {
  std::string body;
  if (!ReadRecord(file, area, offset, 4, body, damage)) return false;
  if (body.size() % 2 != 0) return Fail(damage, offset, "a Wide record of odd length");
  text.Assign(UnitsFromBytes(body));
  return true;
}

bool ReadCodedValue(RecordSource& file, const ValueArea& area, uint32_t offset, CodedText& coded,
                    RecordDamage* damage) {
  std::string body;
  if (!ReadRecord(file, area, offset, 6, body, damage)) return false;
  if (body.size() % 2 != 0) return Fail(damage, offset, "a Coded record of odd length");
  if (body.size() == 2) {  // no code units: the page is not stored either
    coded = CodedText::Default();
    return true;
  }
  coded.codePage = LoadU16(reinterpret_cast<const uint8_t*>(body.data()));
  coded.text.Assign(UnitsFromBytes(body.substr(2)));
  return true;
}

bool ReadObjectValue(RecordSource& file, const ValueArea& area, uint32_t offset,
                     std::string& bytes, RecordDamage* damage) {
  return ReadRecord(file, area, offset, 4, bytes, damage);
}

bool ReadFileValueHead(RecordSource& file, const ValueArea& area, uint32_t offset,
                       FileValueHead& head, RecordDamage* damage) {
  try {
    if (offset < area.begin || uint64_t{offset} + 8 > area.end) {
      return Fail(damage, offset, "the value's offset lies outside the value area");
    }
    uint8_t fixed[8];
    if (!ReadAt(file, offset, fixed, sizeof fixed)) return Fail(damage, offset, "the value is cut off");
    const uint32_t length = LoadU32(fixed);
    const uint32_t nameUnits = LoadU16(fixed + 4);
    if (length < 8) {
      return Fail(damage, offset, "the record length " + std::to_string(length) +
                                      " is shorter than the record's own head");
    }
    if (uint64_t{offset} + length > area.end) {
      return Fail(damage, offset, "the record length " + std::to_string(length) +
                                      " runs past the value area");
    }
    if (8 + 2 * nameUnits > length) {
      return Fail(damage, offset, "the file name (" + std::to_string(nameUnits) +
                                      " code units) runs past its record");
    }
    std::string name(2 * nameUnits, '\0');
    if (file.Read(name.data(), name.size()) != name.size()) {
      return Fail(damage, offset, "the value is cut off");
    }
    head.name = CodedText(LoadU16(fixed + 6), WideString(UnitsFromBytes(name)));
    head.dataOffset = offset + 8 + 2 * nameUnits;
    head.dataSize = length - 8 - 2 * nameUnits;
    return true;
  } catch (const platform::FileError& error) {
    return Fail(damage, offset, error.what());
  }
}

}  // namespace quorvel::exchange
