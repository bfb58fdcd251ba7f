// Record files as data (tests/data/records): each NAME.bytes is a record file
// written by hand from the format's tables, NAME.expected "refused" when it
// does not open, else each entry of each block read with its own type's
// getter: the value, or "fails" with what the getter left behind. A file
// whose every value reads is written back unchanged by a writable open.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "ByteCases.h"
#include "ItemTest.h"
#include "RecordBytes.h"
#include "exchange/RecordFile.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;
using RecordCases = ItemTest<RecordFile>;

std::string Quoted(const WideString& text) { return "\"" + Utf8(text.View()) + "\""; }

void List(RecordFile& file, const std::string& out, std::set<uint32_t>& entered,
          const std::string& indent, std::ostream& listing) {
  const TagEntryArray& entries = *file.CurrentEntries();
  for (uint32_t i = 0; i < entries.Size(); ++i) {
    const TagEntry entry = entries[i];
    listing << indent << entry.tag << " ";
    uint32_t number = 0;
    uint8_t byte = 0;
    WideString wide(u"stale");
    CodedText coded(437, WideString(u"stale"));
    std::string bytes;
    const auto failing = [&](bool ok) -> std::ostream& { return listing << (ok ? "" : "fails "); };
    switch (entry.type) {
      case kTypeU32: failing(file.GetU32(entry.tag, number)) << "u32 " << number; break;
      case kTypeTime: failing(file.GetTime(entry.tag, number)) << "time " << number; break;
      case kTypeByte: failing(file.GetByte(entry.tag, byte)) << "byte " << unsigned(byte); break;
      case kTypeWide: listing << "wide "; failing(file.GetWide(entry.tag, wide)) << Quoted(wide); break;
      case kTypeObject:
        listing << "object" << (file.GetObjectBytes(entry.tag, bytes) ? " " + Hex(bytes) : " fails ");
        listing.seekp(-1, std::ios::cur);  // drops the space both end with
        break;
      case kTypeCoded:
        listing << "coded ";
        if (file.GetCoded(entry.tag, coded)) listing << coded.codePage << " ";
        else listing << "fails ";
        listing << Quoted(coded.text);
        break;
      case kTypeFile:
        listing << "file ";
        if (file.GetFileInfo(entry.tag, coded, number)) {
          listing << coded.codePage << " " << Quoted(coded.text) << " " << number;
        } else {
          listing << "fails " << number;
        }
        if (file.ExtractFile(entry.tag, out, true)) listing << " \"" << ReadFile(out) << "\"";
        else listing << (platform::IsExistingFile(out) ? ", extract fails" : ", extracts nothing");
        platform::RemoveFile(out);
        break;
      case kTypeBlock:
        listing << "block";
        if (entered.insert(entry.value).second && file.EnterBlock(entry.tag)) {
          listing << "\n";
          List(file, out, entered, indent + "  ", listing);
          file.LeaveBlock();
          continue;
        }
        listing << " not entered";
        break;
      default: listing << "type " << entry.type;
    }
    listing << "\n";
  }
}

TEST_F(RecordCases, EachFileReadsAsDescribedAndAReadableOneIsWrittenBackUnchanged) {
  for (const std::filesystem::path& name : ByteCases("records")) {
    SCOPED_TRACE(name.filename().string());
    const std::string bytes = ParseBytes(ReadCaseFile(name.string() + ".bytes"));
    std::ostringstream listing;
    if (OpenBytes(bytes)) {
      std::set<uint32_t> entered;
      List(file, dir / "out", entered, "", listing);
      EXPECT_TRUE(file.Close());
    } else {
      listing << "refused\n";
    }
    EXPECT_EQ(listing.str(), ReadCaseFile(name.string() + ".expected"));
    const auto has = [&](const char* word) { return listing.str().find(word) != std::string::npos; };
    if (!has("fails") && !has("not") && !has("refused")) {  // "not entered", "extracts nothing"
      ASSERT_TRUE(file.Open(path, false, false));
      ASSERT_TRUE(file.Close());
      EXPECT_EQ(Hex(ReadFile(path)), Hex(bytes)) << "written back";
    }
  }
}

}  // namespace
}  // namespace quorvel::exchange
