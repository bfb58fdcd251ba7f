// The archive forms, byte for byte, and loading that never trusts a count
// beyond the bytes it is given.
#include "exchange/ArchiveForms.h"

#include <gtest/gtest.h>

#include "RecordBytes.h"
#include "exchange/RecordFormat.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

template <typename T>
std::string Stored(const T& value) {
  ArchiveWriter archive;
  Store(archive, value);
  return archive.Bytes();
}

template <typename T>
T Loaded(const std::string& bytes) {
  T value;
  ArchiveReader archive(bytes);
  Load(archive, value);
  EXPECT_EQ(archive.Remaining(), 0u) << "everything stored is read back";
  return value;
}

TEST(ArchiveForms, WideStringAndCodedText) {
  EXPECT_EQ(Hex(Stored(WideString())), "00 00 00 00 ");
  EXPECT_EQ(Stored(WideString(u"H\u00E9\u20AC")), Bytes({3, 0, 0, 0, 'H', 0, 0xE9, 0, 0xAC, 0x20}));
  EXPECT_EQ(Stored(CodedText(1252, WideString(u"Jo"))),
            Bytes({0xE4, 0x04, 2, 0, 0, 0, 'J', 0, 'o', 0}));
  EXPECT_EQ(Loaded<WideString>(Stored(WideString(u"H\u00E9\u20AC"))).View(), u"H\u00E9\u20AC");
  EXPECT_EQ(Loaded<CodedText>(Stored(CodedText(1251, WideString(u"\u0416")))),
            CodedText(1251, WideString(u"\u0416")));
}

TEST(ArchiveForms, CodedTextArrayReplacesWhatTheListHeld) {
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"A")));
  names.Add(CodedText(65001, WideString()));
  const std::string expected = U32(2) + Bytes({0xE4, 0x04}) + U32(1) + Bytes({'A', 0}) +
                               Bytes({0xE9, 0xFD}) + U32(0);
  EXPECT_EQ(Hex(Stored(names)), Hex(expected));

  CodedTextArray list;
  list.Add(CodedText(437, WideString(u"old")));
  ArchiveReader archive(expected);
  Load(archive, list);
  ASSERT_EQ(list.Size(), 2u) << "loading deletes the elements first";
  EXPECT_EQ(list[0], names[0]);
  EXPECT_EQ(list[1], names[1]);
}

TEST(ArchiveForms, ArraysWriteElementSizeCountGrowByThenTheElements) {
  U32Array ten(7);
  for (uint32_t i = 0; i < 10; ++i) ten.Add(i * 0x01010101u);
  std::string expected = U32(4) + U32(10) + U32(7);
  for (uint32_t i = 0; i < 10; ++i) expected += U32(i * 0x01010101u);
  EXPECT_EQ(Hex(Stored(ten)), Hex(expected));

  U8Array bytes;
  bytes.Add(0xAB);
  bytes.Add(0xCD);
  EXPECT_EQ(Hex(Stored(bytes)), Hex(U32(1) + U32(2) + U32(0) + Bytes({0xAB, 0xCD})));

  TagEntryArray block;
  block.Add(TagEntry{10000, 5, 20});
  EXPECT_EQ(Hex(Stored(block)), Hex(U32(8) + U32(1) + U32(0) + Bytes({0x10, 0x27, 5, 0, 20, 0, 0, 0})));

  EXPECT_EQ(Hex(Stored(ArchivedU32(0x11223344))), "44 33 22 11 ");
}

TEST(ArchiveForms, LoadingAnArrayIgnoresTheElementSizeAndKeepsItsGrowByFor0xFFFFFFFF) {
  U32Array array(9);
  const std::string stored = U32(77) + U32(2) + U32(0xFFFFFFFF) + U32(5) + U32(6);
  ArchiveReader archive(stored);
  Load(archive, array);
  EXPECT_EQ(array.GrowBy(), 9u);
  ASSERT_EQ(array.Size(), 2u);
  EXPECT_EQ(array[1], 6u);

  const U32Array taken = Loaded<U32Array>(U32(4) + U32(1) + U32(3) + U32(8));
  EXPECT_EQ(taken.GrowBy(), 3u);
}

TEST(ArchiveForms, ArchiveStringLengthPrefixes) {
  const auto stored = [](size_t length) {
    ArchiveWriter archive;
    archive.WriteString(std::string(length, 'x'));
    return archive.Bytes();
  };
  EXPECT_EQ(Hex(stored(0)), "00 ");
  EXPECT_EQ(stored(254).substr(0, 1), Bytes({254}));
  EXPECT_EQ(Hex(stored(255).substr(0, 3)), "FF FF 00 ");
  EXPECT_EQ(Hex(stored(0xFFFD).substr(0, 3)), "FF FD FF ");
  EXPECT_EQ(Hex(stored(0xFFFE).substr(0, 7)), "FF FF FF FE FF 00 00 ");
  EXPECT_EQ(stored(0xFFFE).size(), 7u + 0xFFFE);
  for (const size_t length : {0, 254, 255, 0xFFFD, 0xFFFE, 70000}) {
    const std::string bytes = stored(length);
    ArchiveReader archive(bytes);
    EXPECT_EQ(archive.ReadString().size(), length);
    EXPECT_EQ(archive.Remaining(), 0u);
  }
}

TEST(ArchiveForms, CountsAndStringLists) {
  ArchiveWriter archive;
  archive.WriteCount(0xFFFE);
  archive.WriteCount(0xFFFF);
  archive.WriteStringList({"smtp|a@b", ""});
  EXPECT_EQ(Hex(archive.Bytes()),
            Hex(U16(0xFFFE) + U16(0xFFFF) + U32(0xFFFF) + U16(2) + Bytes({8}) + "smtp|a@b" + Bytes({0})));
  ArchiveReader reader(archive.Bytes());
  EXPECT_EQ(reader.ReadCount(), 0xFFFEu);
  EXPECT_EQ(reader.ReadCount(), 0xFFFFu);
  EXPECT_EQ(reader.ReadStringList(), (std::vector<std::string>{"smtp|a@b", ""}));
}

TEST(ArchiveLoading, DataShorterThanItsCountsIsAnEndOfFileError) {
  const auto loadFails = [](auto value, const std::string& bytes) {
    ArchiveReader archive(bytes);
    EXPECT_THROW(Load(archive, value), ArchiveError) << Hex(bytes);
  };
  loadFails(WideString(), U32(3) + Bytes({'a', 0, 'b', 0}));
  loadFails(WideString(), U32(0xFFFFFFFF));
  loadFails(CodedText(), Bytes({0xE4}));
  loadFails(CodedTextArray(), U32(0x40000000) + Bytes({0xE4, 4, 0, 0, 0, 0}));
  loadFails(U32Array(), U32(4) + U32(0xFFFFFFFF) + U32(0) + U32(1));
  loadFails(U8Array(), U32(1) + U32(5) + U32(0) + "abcd");
  loadFails(ArchivedU32(), Bytes({1, 2, 3}));

  const std::string list = U16(0xFFFF) + U32(0x7FFFFFFF) + Bytes({1, 'a'});
  ArchiveReader strings(list);
  EXPECT_THROW(strings.ReadStringList(), ArchiveError);
  const std::string longText = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
  ArchiveReader text(longText);
  EXPECT_THROW(text.ReadString(), ArchiveError);
}

}  // namespace
}  // namespace quorvel::exchange
