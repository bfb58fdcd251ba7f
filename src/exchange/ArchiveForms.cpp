#include "exchange/ArchiveForms.h"

#include <iterator>
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
  const auto* bytes = reinterpret_cast<const uint8_t*>(archive.ReadBytes(size_t{count} * 2).data());
  // Most texts are names: decoded on the stack, so only the text allocates.
  char16_t onStack[64];
  std::u16string onHeap;
  char16_t* units = onStack;
  if (count > std::size(onStack)) {
    onHeap.resize(count);
    units = onHeap.data();
  }
  for (uint32_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  text.Assign(std::u16string_view(units, count));
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
