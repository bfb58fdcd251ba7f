// The archive forms as data (tests/data/archive): NAME.bytes, NAME.expected its type and
// what loading gives or "damage"; what loads stores back to its bytes (or NAME.saved.bytes).
#include <gtest/gtest.h>

#include <sstream>

#include "ByteCases.h"
#include "RecordBytes.h"
#include "exchange/ArchiveForms.h"
#include "exchange/RecordFormat.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

std::string Shown(const CodedText& coded) {
  return std::to_string(coded.codePage) + " \"" + Utf8(coded.text.View()) + "\"";
}

template <typename T>
std::string Shown(const GrowableArray<T>& array) {
  std::ostringstream out;
  out << "grow-by " << array.GrowBy() << ":";
  for (uint32_t i = 0; i < array.Size(); ++i) {
    if constexpr (std::is_same_v<T, TagEntry>) {
      out << " " << array[i].tag << " " << array[i].type << " " << array[i].value;
    } else {
      out << " " << uint32_t{array[i]};
    }
  }
  return out.str();
}

// Loads `bytes` as a value of `type`, shows it and stores it again.
std::string LoadAndStore(const std::string& type, const std::string& bytes, std::string& stored) {
  ArchiveReader in(bytes);
  ArchiveWriter out;
  std::string shown;
  const auto form = [&](auto value, auto show) {
    Load(in, value);
    shown = show(value);
    Store(out, value);
  };
  if (type == "wide")
    form(WideString(), [](const WideString& w) { return "\"" + Utf8(w.View()) + "\""; });
  if (type == "coded") form(CodedText(), [](const CodedText& c) { return Shown(c); });
  if (type == "u32")
    form(ArchivedU32(), [](const ArchivedU32& v) { return std::to_string(v.value); });
  if (type == "u32-array") form(U32Array(9), [](const U32Array& a) { return Shown(a); });
  if (type == "u8-array") form(U8Array(), [](const U8Array& a) { return Shown(a); });
  if (type == "entries") form(TagEntryArray(), [](const TagEntryArray& a) { return Shown(a); });
  if (type == "coded-array") {
    CodedTextArray list;
    list.Add(CodedText(437, WideString(u"old")));
    Load(in, list);
    for (uint32_t i = 0; i < list.Size(); ++i) shown += (i == 0 ? "" : ", ") + Shown(list[i]);
    Store(out, list);
  }
  if (type == "string") {
    const std::string text = in.ReadString();
    shown = std::to_string(text.size());
    EXPECT_EQ(text.find_first_not_of('x'), std::string::npos);
    out.WriteString(text);
  }
  if (type == "count") {
    const uint32_t count = in.ReadCount();
    shown = std::to_string(count);
    out.WriteCount(count);
  }
  if (type == "string-list") {
    const std::vector<std::string> list = in.ReadStringList();
    for (const std::string& text : list) shown += (shown.empty() ? "\"" : " \"") + text + "\"";
    out.WriteStringList(list);
  }
  EXPECT_EQ(in.Remaining(), 0u) << "everything stored is read back";
  stored = out.Bytes();
  return shown;
}

TEST(ArchiveCases, EachFormLoadsAsDescribedAndStoresBackToItsBytes) {
  for (const std::filesystem::path& name : ByteCases("archive")) {
    SCOPED_TRACE(name.filename().string());
    const std::string bytes = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    const std::string expected = ReadCaseFile(name.string() + ".expected");
    const std::string type = expected.substr(0, expected.find(' '));
    std::string got, stored;
    try {
      got = LoadAndStore(type, bytes, stored);
      const std::filesystem::path saved = name.string() + ".saved.bytes";
      EXPECT_EQ(Hex(stored),
                Hex(std::filesystem::exists(saved) ? ParseBytes(ReadCaseFile(saved)) : bytes));
    } catch (const ArchiveError&) {
      got = "damage";
    }
    EXPECT_EQ(type + " " + got + "\n", expected);
  }
}

}  // namespace
}  // namespace quorvel::exchange
