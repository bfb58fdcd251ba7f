#include "exchange/ArchiveForms.h"

#include <memory>
#include <string>

namespace quorvel::exchange {

void Store(ArchiveWriter& archive, const WideString& text) {
  const std::u16string_view units = text.View();
  archive.WriteU32(static_cast<uint32_t>(units.size()));
  archive.WriteU16s(units);
}

void Load(ArchiveReader& archive, WideString& text) {
  const uint32_t count = archive.ReadU32();
  archive.RequireRoomFor(count, 2);
  std::u16string units(count, u'\0');
  for (char16_t& unit : units) unit = archive.ReadU16();
  text.Assign(units);
}

void Store(ArchiveWriter& archive, const CodedText& coded) {
  archive.WriteU16(coded.codePage);
  Store(archive, coded.text);
}

void Load(ArchiveReader& archive, CodedText& coded) {
  coded.codePage = archive.ReadU16();
  Load(archive, coded.text);
}

void Store(ArchiveWriter& archive, const CodedTextArray& list) {
  archive.WriteU32(list.Size());
  for (uint32_t i = 0; i < list.Size(); ++i) Store(archive, list[i]);
}

void Load(ArchiveReader& archive, CodedTextArray& list) {
  list.RemoveAll();
  const uint32_t count = archive.ReadU32();
  archive.RequireRoomFor(count, 6);  // code page and length of an empty text
  for (uint32_t i = 0; i < count; ++i) {
    auto element = std::make_unique<CodedText>();
    Load(archive, *element);
    list.Adopt(std::move(element));
  }
}

void Store(ArchiveWriter& archive, const ArchivedU32& value) { archive.WriteU32(value.value); }

void Load(ArchiveReader& archive, ArchivedU32& value) { value.value = archive.ReadU32(); }

}  // namespace quorvel::exchange
