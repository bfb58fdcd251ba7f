// The archive forms of the layer's value classes: what each class's Serialize
// writes and reads. Loading throws ArchiveError when the data ends early.
#pragma once

#include "exchange/Archive.h"
#include "quorvel/ArchivedU32.h"
#include "quorvel/CodedText.h"
#include "quorvel/CodedTextArray.h"
#include "quorvel/GrowableArray.h"
#include "quorvel/WideString.h"

namespace quorvel::exchange {

// u32 n (code units, no terminator), then n UTF-16LE code units.
void Store(ArchiveWriter& archive, const WideString& text);
void Load(ArchiveReader& archive, WideString& text);

// u16 code page, then the text's form.
void Store(ArchiveWriter& archive, const CodedText& coded);
void Load(ArchiveReader& archive, CodedText& coded);

// u32 count, then each element's form. Loading first deletes the elements.
void Store(ArchiveWriter& archive, const CodedTextArray& list);
void Load(ArchiveReader& archive, CodedTextArray& list);

void Store(ArchiveWriter& archive, const ArchivedU32& value);
void Load(ArchiveReader& archive, ArchivedU32& value);

// u32 element size, u32 count, u32 grow-by, then the raw elements. Loading
// ignores the element size and keeps its own grow-by when the stored one is
// 0xFFFFFFFF.
template <typename T>
void Store(ArchiveWriter& archive, const GrowableArray<T>& array) {
  archive.WriteU32(sizeof(T));
  archive.WriteU32(array.Size());
  archive.WriteU32(array.GrowBy());
  if (array.Size() != 0) archive.WriteBytes(array.Data(), array.Size() * sizeof(T));
}

template <typename T>
void Load(ArchiveReader& archive, GrowableArray<T>& array) {
  archive.ReadU32();
  const uint32_t count = archive.ReadU32();
  const uint32_t growBy = archive.ReadU32();
  archive.RequireRoomFor(count, sizeof(T));
  if (growBy != 0xFFFFFFFF) array.SetGrowBy(growBy);
  array.SetSize(count);
  if (count != 0) {
    const std::string_view raw = archive.ReadBytes(size_t{count} * sizeof(T));
    std::memcpy(static_cast<void*>(array.Data()), raw.data(), raw.size());
  }
}

}  // namespace quorvel::exchange
