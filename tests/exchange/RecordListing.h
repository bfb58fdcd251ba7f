// A record file's listing as a reader that trusts nothing makes it: each entry of each block
// read with its type's getter, the value or "fails" with what it left; files extracted.
#pragma once

#include <ostream>
#include <set>
#include <sstream>
#include <string>

#include "ByteCases.h"
#include "RecordBytes.h"
#include "TempDirectory.h"
#include "exchange/RecordFile.h"
#include "platform/FileSystem.h"

namespace quorvel::testing {

inline std::string Shown(const WideString& text) { return "\"" + Utf8(text.View()) + "\""; }
inline std::string Shown(const CodedText& coded) {
  return std::to_string(coded.codePage) + " " + Shown(coded.text);
}

inline void List(exchange::RecordFile& file, const std::string& out, std::set<uint32_t>& entered,
                 const std::string& indent, std::ostream& listing) {
  using namespace exchange;
  const TagEntryArray& entries = *file.CurrentEntries();
  for (uint32_t i = 0; i < entries.Size(); ++i) {
    const TagEntry entry = entries[i];
    listing << indent << entry.tag << " ";
    uint32_t number = 0;
    uint8_t byte = 0;
    WideString wide(u"stale");
    CodedText coded(437, WideString(u"stale"));
    std::string bytes;
    // The type, and " fails" when the get does.
    const auto typed = [&](const char* type, bool ok) -> std::ostream& {
      return listing << type << (ok ? "" : " fails");
    };
    bool ok = false;
    switch (entry.type) {
      case kTypeU32: typed("u32", file.GetU32(entry.tag, number)) << " " << number; break;
      case kTypeTime: typed("time", file.GetTime(entry.tag, number)) << " " << number; break;
      case kTypeByte: typed("byte", file.GetByte(entry.tag, byte)) << " " << unsigned(byte); break;
      case kTypeWide: typed("wide", file.GetWide(entry.tag, wide)) << " " << Shown(wide); break;
      case kTypeObject:
        typed("object", file.GetObjectBytes(entry.tag, bytes));
        for (const char c : bytes) listing << " " << Hex(std::string(1, c)).substr(0, 2);
        break;
      case kTypeCoded:
        ok = file.GetCoded(entry.tag, coded);
        typed("coded", ok) << " " << (ok ? Shown(coded) : Shown(coded.text));
        break;
      case kTypeFile:
        ok = file.GetFileInfo(entry.tag, coded, number);
        typed("file", ok) << (ok ? " " + Shown(coded) : "") << " " << number;
        if (file.ExtractFile(entry.tag, out, true)) {
          listing << " \"" << ReadFile(out) << "\"";
        } else {
          listing << (platform::IsExistingFile(out) ? ", extract fails" : ", extracts nothing");
        }
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

inline std::string Listing(exchange::RecordFile& file, const std::string& out) {
  std::ostringstream listing;
  std::set<uint32_t> entered;
  List(file, out, entered, "", listing);
  return listing.str();
}

}  // namespace quorvel::testing
