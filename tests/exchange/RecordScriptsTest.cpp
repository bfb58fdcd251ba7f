// The record file container's accessors as data (tests/data/record-scripts):
// each NAME.script is a list of "COMMAND => RESULT" lines run in turn on up
// to three record files (a command prefixed "b:" or "c:" works on the second
// or third), each RESULT what the format's rules say the command gives.
// Commands: open FILE MODES (r read-only, w writable, c create, q the
// alternative magic), close, kind, set-kind K, mode, put/set/get TYPE TAG
// [VALUE] (TYPE u32 byte time wide coded file u32object bytes), remove,
// find, create-block, enter-block, leave-block, extract TAG FILE
// overwrite|keep; on the test directory: write FILE BYTES (ByteCases
// notation), read FILE, same FILE FILE, exists FILE, read-only FILE, head
// FILE N, copy FILE FILE; bytes FILE CASE: the file equals the case of
// tests/data/records. A get's variable starts as 7, "stale" or 437 "stale";
// a time between the start of the get and its end shows as "now".
#include "exchange/RecordFile.h"

#include <gtest/gtest.h>

#include <map>

#include "ByteCases.h"
#include "ItemTest.h"
#include "exchange/RecordDirectory.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  for (size_t i = text.find_first_not_of(' '); i != std::string::npos; i = text.find_first_not_of(' ', i)) {
    const size_t end = text[i] == '"' ? text.find('"', i + 1) + 1 : text.find(' ', i);
    tokens.push_back(text.substr(i, end - i));
    i = std::min(end, text.size());
  }
  return tokens;
}

WideString Wide(const std::string& quoted) {
  std::string bytes;
  AppendUtf16(bytes, quoted.substr(1, quoted.size() - 2));
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
  }
  return WideString(units);
}

std::string Shown(const WideString& text) { return "\"" + Utf8(text.View()) + "\""; }
std::string Shown(const CodedText& coded) { return std::to_string(coded.codePage) + " " + Shown(coded.text); }

class RecordScripts : public ItemTest<RecordFile> {
 protected:
  std::string Run(const std::vector<std::string>& t) {
    RecordFile& f = t[0][1] == ':' ? files[t[0][0]] : file;
    const std::string op = t[0].substr(t[0][1] == ':' ? 2 : 0);
    const auto at = [&](size_t i) { return static_cast<uint16_t>(std::stoul(t.at(i), nullptr, 0)); };
    const auto ok = [](bool done, const std::string& value = "") {
      return std::string(done ? "ok" : "fails") + (value.empty() ? "" : " " + value);
    };
    const std::string type = t.size() > 1 ? t[1] : "";
    if (op == "open") {
      const std::string& m = t[2];
      const auto has = [&](char c) { return m.find(c) != std::string::npos; };
      return ok(f.Open(dir / t[1], has('r'), has('c'), has('q')));
    }
    if (op == "close") return ok(f.Close());
    if (op == "kind") return std::to_string(f.Kind());
    if (op == "set-kind") return ok(f.SetKind(static_cast<uint8_t>(at(1))));
    if (op == "mode") return f.IsOpen() ? f.GetMode() == RecordFile::kReadOnly ? "read-only" : "writable" : "closed";
    if (op == "remove") return ok(f.Remove(at(1)));
    if (op == "create-block") return ok(f.CreateBlock(at(1)));
    if (op == "enter-block") return ok(f.EnterBlock(at(1)));
    if (op == "leave-block") return f.LeaveBlock(), "done";
    if (op == "extract") return ok(f.ExtractFile(at(1), dir / t[2], t[3] == "overwrite"));
    if (op == "find") {
      TagEntry entry;
      return f.Find(at(1), entry) ? ok(true, std::to_string(entry.type) + " " + std::to_string(entry.value)) : ok(false);
    }
    if (op == "put" || op == "set") {
      const bool put = op == "put";
      const uint32_t number = t.size() > 3 && std::isdigit(t[3][0]) ? std::stoul(t[3], nullptr, 0) : 0;
      if (type == "u32") return ok(put ? f.PutU32(at(2), number) : f.SetU32(at(2), number));
      const auto byte = static_cast<uint8_t>(number);
      if (type == "byte") return ok(put ? f.PutByte(at(2), byte) : f.SetByte(at(2), byte));
      if (type == "time") return ok(put ? f.PutTime(at(2), number) : f.SetTime(at(2), number));
      if (type == "wide") return ok(f.PutWide(at(2), Wide(t[3])));
      if (type == "coded") return ok(f.PutCoded(at(2), CodedText(at(3), Wide(t[4]))));
      if (type == "u32object") return ok(f.PutObject(at(2), ArchivedU32(number)));
      if (type == "bytes") return ok(f.PutObjectBytes(at(2), ParseBytes(t[3])));
      if (type == "file") return ok(f.PutFile(at(2), dir / t[3], t.size() > 4 ? CodedText(at(4), Wide(t[5])) : CodedText()));
    }
    if (op == "get") {
      uint32_t number = 7;
      uint8_t byte = 7;
      WideString wide(u"stale");
      CodedText coded(437, WideString(u"stale"));
      // (each get runs before its value is shown)
      bool found = false;
      if (type == "u32") return found = f.GetU32(at(2), number), ok(found, std::to_string(number));
      if (type == "byte") return found = f.GetByte(at(2), byte), ok(found, std::to_string(byte));
      if (type == "wide") return found = f.GetWide(at(2), wide), ok(found, Shown(wide));
      if (type == "coded") return found = f.GetCoded(at(2), coded), ok(found, Shown(coded));
      if (type == "file") {
        found = f.GetFileInfo(at(2), coded, number);
        return ok(found, (found ? Shown(coded) + " " : "") + std::to_string(number));
      }
      if (type == "u32object") {
        ArchivedU32 object(7);
        return found = f.GetObject(at(2), object), ok(found, std::to_string(object.value));
      }
      if (type == "time") {
        const uint32_t before = platform::UtcSecondsNow();
        found = f.GetTime(at(2), number);
        const bool now = number >= before && number <= platform::UtcSecondsNow();
        return ok(found, now ? "now" : std::to_string(number));
      }
    }
    if (op == "write") return WriteFile(dir / t[1], ParseBytes(t[2])), "done";
    if (op == "read") return "\"" + ReadFile(dir / t[1]) + "\"";
    if (op == "head") return Hex(ReadFile(dir / t[1]).substr(0, std::stoul(t[2])));
    if (op == "copy") return std::filesystem::copy_file(dir / t[1], dir / t[2]), "done";
    if (op == "same") return ReadFile(dir / t[1]) == ReadFile(dir / t[2]) ? "yes" : "no";
    if (op == "exists") return platform::IsExistingFile(dir / t[1]) ? "yes" : "no";
    if (op == "read-only") return platform::SetReadOnly(dir / t[1], true), "done";
    if (op == "bytes") {
      const std::string expected = ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/records/" + t[2] + ".bytes");
      const std::string got = Hex(ReadFile(dir / t[1]));
      return got == Hex(ParseBytes(expected)) ? "same" : "differs: " + got;
    }
    return "unknown command";
  }

  std::map<char, RecordFile> files;
};

TEST_F(RecordScripts, EachCommandGivesWhatTheScriptSays) {
  size_t scripts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUORVEL_TEST_DATA) + "/record-scripts")) {
    SCOPED_TRACE(entry.path().filename().string());
    ++scripts;
    std::istringstream lines(ReadCaseFile(entry.path()));
    for (std::string line; std::getline(lines, line);) {
      const size_t arrow = line.find(" => ");
      if (line.empty() || line[0] == '#') continue;
      ASSERT_NE(arrow, std::string::npos) << line;
      std::vector<std::string> tokens = Tokens(line.substr(0, arrow));
      // Bytes in ByteCases notation run to the end of the command.
      const size_t bytesAt = tokens[0] == "write" ? 2 : tokens.size() > 1 && tokens[1] == "bytes" ? 3 : 0;
      if (bytesAt != 0) {
        std::string bytes;
        for (size_t i = bytesAt; i < tokens.size(); ++i) bytes += tokens[i] + " ";
        tokens.resize(bytesAt);
        tokens.push_back(bytes);
      }
      EXPECT_EQ(Run(tokens), line.substr(arrow + 4)) << line;
    }
    for (auto& [name, other] : files) other.Close();
    file.Close();
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.path());
  }
  EXPECT_GE(scripts, 4u);
}

TEST_F(RecordScripts, ABlockHoldsAtMost65535Entries) {
  std::vector<std::string> entries;
  for (uint32_t tag = 0; tag < 0xFFFF; ++tag) entries.push_back(Entry(tag, kTypeU32, tag));
  WriteFile(path, RecordFileBytes("", Directory({entries})));
  ASSERT_TRUE(file.Open(path, false, false));
  EXPECT_FALSE(file.PutU32(0xFFFF, 1)) << "its count would wrap to 0";
  EXPECT_TRUE(file.Close());
  BlockList blocks(kBlockListGrowBy);
  blocks.Adopt(std::make_unique<TagEntryArray>());
  blocks[0].SetSize(0x10000);
  EXPECT_EQ(EncodeDirectory(blocks), "") << "a directory never stores a wrapped count";
}

}  // namespace
}  // namespace quorvel::exchange
