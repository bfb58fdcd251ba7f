// The record and exchange files' accessors, structures and packing as scripts
// of "COMMAND => RESULT" lines (tests/data/record-scripts, exchange-scripts);
// the commands are described in tests/data/record-scripts/README.md.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <sstream>

#include "ByteCases.h"
#include "ItemTest.h"
#include "KeyedCases.h"
#include "RandomBytes.h"
#include "RecordListing.h"
#include "exchange/AttachmentList.h"
#include "exchange/ExchangeFile.h"
#include "exchange/ExchangeFileDump.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "exchange/Markup.h"
#include "exchange/NameHistory.h"
#include "exchange/Packing.h"
#include "exchange/PlainTextMessage.h"
#include "exchange/PupilMailFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordDirectory.h"
#include "exchange/RecordFile.h"
#include "exchange/TimedMessage.h"
#include "exchange/TutorReply.h"
#include "exchange/TutorReplyFile.h"
#include "exchange/UserDataSet.h"
#include "frame/UniqueNames.h"
#include "platform/Clock.h"
#include "platform/CodePages.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace quorvel::exchange {
namespace {

using namespace quorvel::testing;

std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  for (size_t i = text.find_first_not_of(' '); i != std::string::npos;
       i = text.find_first_not_of(' ', i)) {
    size_t end = text.find(' ', i);
    if (text[i] == '"') {
      for (end = i + 1; end < text.size() && text[end] != '"'; ++end)
        end += text[end] == '\\' ? 1 : 0;
      ++end;
    }
    tokens.push_back(text.substr(i, end - i));
    i = std::min(end, text.size());
  }
  return tokens;
}

// A quoted text without its quotes, its escapes read as in every keyed case.
std::string Unquoted(const std::string& quoted) {
  return Unescaped(quoted.substr(1, quoted.size() - 2));
}

WideString Wide(const std::string& quoted) {
  std::string bytes;
  AppendUtf16(bytes, Unquoted(quoted));
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), bytes.size());  // UTF-16LE on a little-endian host
  return WideString(units);
}

template <typename File>
class Scripts : public ItemTest<File> {
 protected:
  using ItemTest<File>::dir;
  using ItemTest<File>::file;
  std::string Run(const std::vector<std::string>& t) {
    File& f = t[0][1] == ':' ? files[t[0][0]] : file;
    const std::string op = t[0].substr(t[0][1] == ':' ? 2 : 0);
    const auto at = [&](size_t i) {
      return static_cast<uint16_t>(std::stoul(t.at(i), nullptr, 0));
    };
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
    if (op == "mode")
      return f.IsOpen() ? f.GetMode() == RecordFile::kReadOnly ? "read-only" : "writable"
                        : "closed";
    if (op == "remove") return ok(f.Remove(at(1)));
    if (op == "create-block") return ok(f.CreateBlock(at(1)));
    if (op == "enter-block") return ok(f.EnterBlock(at(1)));
    if (op == "leave-block") return f.LeaveBlock(), "done";
    if (op == "extract") return ok(f.ExtractFile(at(1), dir / t[2], t[3] == "overwrite"));
    if (op == "find") {
      TagEntry entry;
      return f.Find(at(1), entry)
                 ? ok(true, std::to_string(entry.type) + " " + std::to_string(entry.value))
                 : ok(false);
    }
    if (op == "put" || op == "set") {
      const bool put = op == "put";
      const uint32_t number =
          t.size() > 3 && std::isdigit(t[3][0]) ? std::stoul(t[3], nullptr, 0) : 0;
      if (type == "u32") return ok(put ? f.PutU32(at(2), number) : f.SetU32(at(2), number));
      const auto byte = static_cast<uint8_t>(number);
      if (type == "byte") return ok(put ? f.PutByte(at(2), byte) : f.SetByte(at(2), byte));
      if (type == "time") return ok(put ? f.PutTime(at(2), number) : f.SetTime(at(2), number));
      if (type == "wide") return ok(f.PutWide(at(2), Wide(t[3])));
      if (type == "coded") return ok(f.PutCoded(at(2), CodedText(at(3), Wide(t[4]))));
      if (type == "u32object") return ok(f.PutObject(at(2), ArchivedU32(number)));
      if (type == "bytes") return ok(f.PutObjectBytes(at(2), ParseBytes(t[3])));
      if (type == "file")
        return ok(f.PutFile(at(2), dir / t[3],
                            t.size() > 4 ? CodedText(at(4), Wide(t[5])) : CodedText()));
    }
    if (op == "get") {
      uint32_t number = 7;
      uint8_t byte = 7;
      WideString wide(u"stale");
      CodedText coded(437, WideString(u"stale"));
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
    if (op == "random") return WriteFile(dir / t[1], RandomBytes(std::stoul(t[2]), 7)), "done";
    if (op == "read") return "\"" + ReadFile(dir / t[1]) + "\"";
    if (op == "head") return Hex(ReadFile(dir / t[1]).substr(0, std::stoul(t[2])));
    if (op == "copy") {
      // Removed first: mingw's copy_file refuses to overwrite even when told to.
      std::filesystem::remove(dir / t[2]);
      return std::filesystem::copy_file(dir / t[1], dir / t[2]), "done";
    }
    if (op == "same") return ReadFile(dir / t[1]) == ReadFile(dir / t[2]) ? "yes" : "no";
    if (op == "exists") return platform::IsExistingFile(dir / t[1]) ? "yes" : "no";
    if (op == "read-only") return platform::SetReadOnly(dir / t[1], true), "done";
    if (op == "bytes") {
      std::string name = t[2];  // "ANSI" in it: the ANSI code page
      const size_t ansi = name.find("ANSI");
      if (ansi != std::string::npos)
        name.replace(ansi, 4, std::to_string(platform::AnsiCodePage()));
      const std::string expected =
          ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/records/" + name + ".bytes");
      const std::string got = Hex(ReadFile(dir / t[1]));
      return got == Hex(ParseBytes(expected)) ? "same" : "differs: " + got;
    }
    if constexpr (std::is_same_v<File, ExchangeFile>) {
      const auto yes = [](bool b) { return b ? "yes" : "no"; };
      const auto relative = [&](std::string p) {
        const std::string working = WorkingDirectory();
        if (p.rfind(working, 0) == 0) return "working/" + p.substr(working.size());
        return p.rfind(dir.path(), 0) == 0 ? p.substr(dir.path().size()) : p;
      };
      if (op == "packed") return yes(f.IsPacked());
      if (op == "path") return relative(f.GetPath());
      if (op == "working") return relative(f.WorkingPath());
      if (op == "in-memory") return f.ReadInMemory(), "done";
      if (op == "limit") return f.LimitUnpackedLength(std::stoull(t[1])), "done";
      if (op == "too-long") return yes(f.UnpackedTooLong());
      if (op == "packed-file") return yes(IsPackedFile(dir / t[1]));
      if (op == "unpack") {  // a fourth word: as a record file
        UnpackReport report;
        const bool done = UnpackFile(dir / t[1], dir / t[2], kPackingBuffer, &report,
                                     t.size() > 3 ? &kUnpackedRecordFile : nullptr);
        problem = report.problem + " (offset " + std::to_string(report.offset) + ")";
        if (done != report.problem.empty()) return "the report says: " + problem;
        return done ? "ok" : "fails";
      }
      if (op == "problem") return problem;
      if (op == "at-most") return ReadFile(dir / t[1]).size() <= std::stoul(t[2]) ? "yes" : "no";
      if (op == "reserve") return relative(UniqueTempName("qv6", dir.path()));
      if (op == "count-writes") return writes.emplace(), "done";
      if (op == "writes") {
        const uint32_t count = writes->Count(platform::FileOperation::Write);
        return writes.reset(), count == 0 ? "none" : "some";
      }
      std::vector<std::string> attached, tracked;
      std::string options;
      ItemFinisher finish;
      for (size_t i = op == "write-mail" ? 2 : 3; i + 1 < t.size(); i += 2) {
        if (t[i] == "attach") attached.push_back(dir / t[i + 1]);
        if (t[i] == "track") tracked.push_back(dir / t[i + 1]);
        if (t[i] == "options") options = dir / t[i + 1];
        if (t[i + 1] == "refuse")
          finish = [](ExchangeFile& item) { return item.Kind() != 20 && item.Kind() != 21; };
        if (t[i + 1] == "stamp")
          finish = [](ExchangeFile& item) {
            ItemStamp stamp;
            stamp.itemId = 9;
            return stamp.Write(item);
          };
      }
      if (op == "write-mail") {
        PupilMailContent mail;
        mail.attachments = attached, mail.tracking = tracked, mail.optionsIni = options;
        mail.message.number = 31;
        mail.message.reference = CodedText(1250, WideString(u"lesson \u0159"));
        mail.message.correspondent = CodedText(1252, WideString(u"Tutor"));
        mail.message.text = WideString(u"question");
        return ok(WritePupilMailFile(mail, std::nullopt, dir / t[1], finish));
      }
      if (op == "write-reply-file") {
        const TutorReplyContent reply{7, CodedText(1252, WideString(u"Pupil")),
                                      WideString(u"answer"), attached};
        const std::optional<CodedText> reference =
            WriteTutorReplyFile(dir / t[1], reply, dir / t[2], finish);
        return reference ? ok(true, Shown(*reference)) : ok(false);
      }
      if (op == "temporary") {
        std::string names;
        for (const std::string& name : this->temporary.Files())
          names += (names.empty() ? "" : " ") + name;
        return names.empty() ? "none" : names;
      }
    }
    const auto hex = [](const std::string& b) {
      return b.empty() ? "-" : Hex(b).substr(0, 3 * b.size() - 1);
    };
    if (op == "read-pupil") {
      PupilMessage m;
      const bool read = m.Read(f);
      return ok(read, "number " + std::to_string(m.number) + " from " + Shown(m.correspondent) +
                          " reference " + Shown(m.reference) + " notes " + hex(m.noteA) + " | " +
                          hex(m.noteB) + " flags " + std::to_string(m.messageFlagA) + " " +
                          std::to_string(m.messageFlagB) + " " + std::to_string(m.messageFlagC) +
                          " " + std::to_string(m.messageFlagD) + " options " +
                          std::to_string(m.options.value) + " text " + Shown(m.text) + " " +
                          Shown(m.secondText));
    }
    if (op == "read-reply") {
      TutorReply m;
      m.pupilNumber = 99;
      const bool read = m.Read(f);
      return ok(read, "number " + std::to_string(m.number) + " pupil " +
                          std::to_string(m.pupilNumber) + " from " + Shown(m.correspondent) +
                          " flag " + std::to_string(m.replyFlag) + " text " + Shown(m.text) +
                          " reference " + Shown(m.reference));
    }
    if (op == "read-timed") {
      TimedMessage m;
      const bool read = m.Read(f);
      return ok(read, "time " + std::to_string(m.time) + " values " + std::to_string(m.valueA) +
                          " " + std::to_string(m.valueB) + " text " + Shown(m.text));
    }
    const auto when = [&](uint32_t t) {
      return t >= scriptStart && t <= platform::UtcSecondsNow() ? "now" : std::to_string(t);
    };
    if (op == "read-stamp" || op == "write-stamp") {
      ItemStamp m;
      if (op == "write-stamp") {
        m.itemId = std::stoul(t[1]), m.parentId = std::stoul(t[2]);
        m.created = t.size() > 3 ? std::stoul(t[3]) : 0;
      }
      const bool done = op == "write-stamp" ? m.Write(f) : m.Read(f);
      return ok(done, "id " + std::to_string(m.itemId) + " parent " + std::to_string(m.parentId) +
                          " created " + when(m.created) + " modified " + when(m.modified));
    }
    if (op == "write-pupil") {
      PupilMessage m;
      m.number = std::stoul(t[1]);
      m.correspondent = CodedText(1252, WideString(u"Tutor T\u00E9"));
      m.reference = CodedText(1250, WideString(u"ref-\u0159"));
      for (int b = 1; b < 256; ++b) m.noteA += static_cast<char>(b);
      m.noteB = "\x80\x81\x8D\x8F\x90\x9D\xFF";  // bytes 1252 leaves undefined among them
      m.messageFlagA = 1, m.messageFlagB = 4, m.messageFlagC = 2, m.messageFlagD = 0;
      m.options = ArchivedU32(0xA5A5);
      m.text = WideString(u"{markup}Bonjour");
      m.secondText = WideString(u"second");
      return ok(m.Write(f));
    }
    if (op == "write-reply") {
      TutorReply m;
      m.number = std::stoul(t[1]);
      return ok(m.Write(f));
    }
    const auto key = [](const std::string& text) {
      return ItemKey::FromText(Wide("\"" + text + "\"").View());
    };
    if (op == "write-keys") return ok(WriteStampKeys(f, {key(t[1]), key(t[2])}));
    if (op == "read-keys") {
      const StampKeys keys = ReadStampKeys(f);
      const auto text = [](const std::optional<ItemKey>& k) { return k ? Utf8(k->Text()) : "-"; };
      return "own " + text(keys.own) + " parent " + text(keys.parent);
    }
    if (op == "key-from-text") return key(Unquoted(t[1])) ? "key" : "none";
    const auto names = [](const CodedTextArray& list) {
      std::string shown;
      for (uint32_t i = 0; i < list.Size(); ++i) shown += " " + Shown(list[i].text);
      return shown;
    };
    if (op == "attach") {  // FILE... [names CODEPAGE "NAME"...]
      std::vector<std::string> paths;
      CodedTextArray given;
      size_t i = 1;
      for (; i < t.size() && t[i] != "names"; ++i) paths.push_back(dir / t[i]);
      for (++i; i + 1 < t.size(); i += 2) given.Add(CodedText(at(i), Wide(t[i + 1])));
      return ok(AttachmentList::Write(f, paths, given.Size() > 0 ? &given : nullptr));
    }
    if (op == "store-user-data") {  // WORD FILE pairs
      UserDataPaths paths;
      for (size_t i = 1; i + 1 < t.size(); i += 2) {
        if (t[i] == "tracking") paths.tracking.push_back(dir / t[i + 1]);
        if (t[i] == "options") paths.optionsIni = dir / t[i + 1];
        if (t[i] == "learning-path") paths.learningPath.push_back(dir / t[i + 1]);
        if (t[i] == "upd") paths.optionsUpd = dir / t[i + 1];
      }
      return ok(UserDataSet::Write(f, paths));
    }
    if (op == "attachments") {
      CodedTextArray list;
      list.Add(CodedText(1252, WideString(u"stale")));
      const uint16_t count = AttachmentList::Read(f, list);
      return std::to_string(count) + names(list);
    }
    if (op == "name-history") return "names" + names(NameHistory::Read(f));
    if (op == "extract-attachment") return ok(AttachmentList::Extract(f, at(1), dir / t[2]));
    if (op == "user-data") {
      UserDataSet data;
      data.trackingCount = 7;
      return ok(data.Read(f), std::to_string(data.trackingCount));
    }
    if (op == "extract-options-upd")
      return ok(UserDataSet::ExtractOptionsFile(f, UserDataSet::kTagOptionsUpd, dir / t[1]));
    if (op == "entries") return std::to_string(f.CurrentEntries()->Size());
    if (op == "tags") {
      std::string tags;
      for (const TagEntry& entry : *f.CurrentEntries())
        tags += (tags.empty() ? "" : " ") + std::to_string(entry.tag);
      return tags;
    }
    if (op == "read-plain") {
      PlainTextMessage m;
      const bool read = m.Read(f);
      return ok(read, hex(m.plainText));
    }
    if (op == "write-plain") {
      PlainTextMessage m;
      m.plainText = ParseBytes(t[1]);
      return ok(m.Write(f));
    }
    if (op == "write-record") {  // values | directory, the CRC made here
      const size_t bar = t[2].find("| ");
      return WriteFile(dir / t[1], RecordFileBytes(ParseBytes(t[2].substr(0, bar)),
                                                   ParseBytes(t[2].substr(bar + 2)))),
             "done";
    }
    if (op == "patch") {
      std::string bytes = ReadFile(dir / t[1]);
      const std::string text = Unquoted(t[3]);
      return WriteFile(dir / t[1], bytes.replace(std::stoul(t[2]), text.size(), text)), "done";
    }
    if (op == "cut")
      return WriteFile(dir / t[1], ReadFile(dir / t[1]).substr(0, std::stoul(t[2]))), "done";
    if (op == "pack") return PackFile(dir / t[1], dir / t[2], kPackingBuffer) ? "ok" : "fails";
    if (op == "dump") {
      std::ostringstream out;
      const bool holds = DumpExchangeFile(dir / t[1], out, out);
      dumped = out.str();
      return holds ? "ok" : "fails";
    }
    if (op == "dump-has") return dumped.find(Unquoted(t[1])) != std::string::npos ? "yes" : "no";
    if (op == "dump-ends") {
      const std::string tree =
          ReadCaseFile(std::string(QUORVEL_TEST_DATA) + "/item-dump/" + t[1] + ".tree");
      return dumped.size() >= tree.size() && dumped.substr(dumped.size() - tree.size()) == tree
                 ? "yes"
                 : "no";
    }
    if (op == "dump-head") {  // the packed file's size, its stream's and the trailer's
      const size_t size = ReadFile(dir / t[1]).size();
      const std::string head = "file: " + (dir / t[1]) + " (" + std::to_string(size) +
                               " bytes)\npacked: yes, a bzip2 stream of " +
                               std::to_string(size - 4) + " bytes, trailer " +
                               std::to_string(size - 4) + "\n";
      return dumped.rfind(head, 0) == 0 ? "holds" : "differs: " + dumped.substr(0, head.size());
    }
    if (op == "markup") {  // a fresh state: NAME=VALUE current, NAME:VALUE written, NAME+VALUE both
      const std::vector<std::string> names = {"Cp", "TCo", "BCo", "H", "B", "I", "U", "P"};
      MarkupState state;
      for (size_t i = 1; i < t.size(); ++i) {
        const size_t sign = t[i].find_first_of("=:+");
        const auto index = std::find(names.begin(), names.end(), t[i].substr(0, sign));
        const uint32_t which =
            (t[i][sign] == ':' ? 0 : kSetCurrent) | (t[i][sign] == '=' ? 0 : kSetWritten);
        SetAttribute(state, static_cast<uint16_t>(index - names.begin()),
                     std::stoi(t[i].substr(sign + 1), nullptr, 0), which);
      }
      std::string tags;
      for (const bool update : {false, true, true}) {
        const std::string tag = Utf8(AttributeTag(state, update).View());
        tags += (tags.empty() ? "" : " ") + (tag.empty() ? "-" : tag);
      }
      return tags;
    }
    if (op == "to-markup") {
      const WideString markup = TextToMarkup(Unquoted(t[2]), static_cast<uint16_t>(at(1)));
      return std::to_string(markup.Length()) + " " + Shown(markup);
    }
    if (op == "grow") {  // a grow-by, then sizes set in turn: the capacity after each
      U32Array array(at(1));
      std::string capacities;
      for (size_t i = 2; i < t.size(); ++i) {
        array.SetSize(static_cast<uint32_t>(std::stoul(t[i])));
        capacities += (i == 2 ? "" : " ") + std::to_string(array.Capacity());
      }
      return capacities;
    }
    if (op == "delete") return platform::RemoveFile(dir / t[1]), "done";
    if (op == "mkdir") return std::filesystem::create_directory(dir / t[1]), "done";
    return "unknown command";
  }

  void RunScripts(const std::string& kind) {
    size_t scripts = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUORVEL_TEST_DATA) + "/" + kind)) {
      if (entry.path().extension() != ".script") continue;
      SCOPED_TRACE(entry.path().filename().string());
      scriptStart = platform::UtcSecondsNow();
      ++scripts;
      std::istringstream lines(ReadCaseFile(entry.path()));
      for (std::string line; std::getline(lines, line);) {
        const size_t arrow = line.find(" => ");
        if (line.empty() || line[0] == '#') continue;
        ASSERT_NE(arrow, std::string::npos) << line;
        std::vector<std::string> tokens = Tokens(line.substr(0, arrow));
        // Bytes in ByteCases notation run to the end of the command.
        const size_t bytesAt = tokens[0] == "write-plain"                            ? 1
                               : tokens[0] == "write" || tokens[0] == "write-record" ? 2
                               : tokens.size() > 1 && tokens[1] == "bytes"           ? 3
                                                                                     : 0;
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
      for (const std::string& name : this->temporary.Files())
        platform::RemoveFile(WorkingDirectory() + name);
    }
    EXPECT_GE(scripts, 2u);
  }

  std::map<char, File> files;
  std::string dumped;                          // by "dump"
  std::string problem;                         // by "unpack"
  uint32_t scriptStart = 0;                    // the time the script started
  std::optional<platform::FileFaults> writes;  // counting from "count-writes"
};

using RecordScripts = Scripts<RecordFile>;
using ExchangeScripts = Scripts<ExchangeFile>;

TEST_F(RecordScripts, EachCommandGivesWhatTheScriptSays) { RunScripts("record-scripts"); }
TEST_F(ExchangeScripts, EachCommandGivesWhatTheScriptSays) { RunScripts("exchange-scripts"); }

TEST(RecordDirectory, NeverStoresAWrappedCount) {
  BlockList blocks(kBlockListGrowBy);
  blocks.Adopt(std::make_unique<TagEntryArray>());
  blocks[0].SetSize(0x10000);
  EXPECT_EQ(EncodeDirectory(blocks), "");
}

}  // namespace
}  // namespace quorvel::exchange
