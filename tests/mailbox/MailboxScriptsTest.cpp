// Mailbox scenarios as scripts of "COMMAND => RESULT" lines (tests/data/mailbox-scripts;
// the commands are described in its README.md), each on a mailbox of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "../exchange/RecordBytes.h"
#include "ByteCases.h"
#include "FaultSweep.h"
#include "IndexSteps.h"
#include "MailboxFixture.h"
#include "PopMailDrop.h"
#include "exchange/PlainTextMessage.h"
#include "exchange/PupilMailFile.h"
#include "exchange/TutorReplyFile.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/IndexChanges.h"
#include "mailbox/IndexSeal.h"
#include "mailbox/ItemKeys.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"
#include "mailbox/MailWriting.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/OutboundRoute.h"
#include "mailbox/OutboundSending.h"
#include "mailbox/Receiving.h"
#include "platform/Clock.h"
#include "platform/Faults.h"

namespace quorvel::testing {
namespace {

template <typename Items>
std::string Joined(const Items& items) {
  std::ostringstream out;
  for (const auto& item : items) out << (out.tellp() == 0 ? "" : " ") << item;
  return out.tellp() == 0 ? "none" : out.str();
}

// Quoted, bytes outside printable ASCII as \xHH.
std::string Shown(const std::string& text) {
  std::string shown = "\"";
  for (const unsigned char c : text) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    shown += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return shown + "\"";
}

std::string Ok(bool done) { return done ? "ok" : "fails"; }
std::string Id(uint32_t id) { return id == kNoItem ? "none" : std::to_string(id); }

uint32_t Number(std::istream& in) {
  std::string word;
  in >> word;
  return word == "none" ? UINT32_MAX : static_cast<uint32_t>(std::stoul(word, nullptr, 0));
}

std::string Next(std::istream& in) {
  std::string word;
  in >> word;
  return word;
}

// The rest of the line.
std::string Rest(std::istream& in) {
  std::string rest;
  std::getline(in >> std::ws, rest);
  return rest;
}

const std::map<std::string, platform::FileOperation> kFaults = {
    {"open", platform::FileOperation::Open},
    {"write", platform::FileOperation::Write},
    {"sync", platform::FileOperation::Sync},
    {"rename", platform::FileOperation::Rename}};

class Script : public MailboxFiles {
 public:
  TempDirectory share;

  Script() { context.mailbox.reset(&mailbox); }
  ~Script() { static_cast<void>(context.mailbox.release()); }

  // "FAULT@N COMMAND": the command with the Nth call of that kind failing, or the disk
  // full after N bytes ("full@N"); its result tells whether the fault was met.
  std::string Run(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    const size_t at = word.find('@');
    if (at == std::string::npos) return Do(word, in);
    platform::FileFaults faults;
    if (word.compare(0, at, "full") == 0) {
      faults.FillDiskAfter(Room(word.substr(at + 1)));
    } else {
      faults.Fail(kFaults.at(word.substr(0, at)),
                  static_cast<uint32_t>(std::stoul(word.substr(at + 1))));
    }
    in >> word;
    const std::string result = Do(word, in);
    return result + (faults.Fired() ? ", met" : ", not met");
  }

 private:
  // Bytes: a number, or the size of the journal entry that turns variant 0 into 1 ("record"),
  // of the image of variant 1 ("image") or of a journal's head and that image ("base"), with
  // "/N", "+N" or "-N" after it.
  static uint64_t Room(const std::string& text) {
    const size_t end = text.find_first_of("/+-");
    if (std::isdigit(static_cast<unsigned char>(text[0]))) return std::stoull(text);
    MailboxIndex variants[2];
    FillVariant(variants[0], 0);
    FillVariant(variants[1], 1);
    const IndexImage before = EncodeIndexParts(kVariantEntries + 1, 1, variants[0]);
    const IndexImage after = EncodeIndexParts(kVariantEntries + 1, 1, variants[1]);
    const std::string record =
        EncodeChangeRecord(SplicesBetween(before, after), after.bytes.size());
    uint32_t link = 0;
    const std::map<std::string, uint64_t> sizes = {{"record", JournalEntry(record, link).size()},
                                                   {"image", after.bytes.size()},
                                                   {"base", 12 + after.bytes.size()}};
    const uint64_t room = sizes.at(text.substr(0, end));
    const uint64_t n = end == std::string::npos ? 0 : std::stoull(text.substr(end + 1));
    return end == std::string::npos ? room
           : text[end] == '/'       ? room / n
           : text[end] == '+'       ? room + n
                                    : room - n;
  }
  // Files as a new root an item of `kind` whose main block holds `text` (UTF-16LE; a plain
  // text message: its bytes; "alone": a pupil message's text without the rest).
  uint32_t FileText(uint8_t kind, bool alone, const std::string& bytes) {
    const std::string path = outside / ("text" + std::to_string(++written) + ".qv6");
    std::u16string units(bytes.size() / 2, u'\0');
    std::memcpy(units.data(), bytes.data(), 2 * units.size());  // UTF-16LE on a little-endian host
    const WideString text(units);
    exchange::ExchangeFile file;
    EXPECT_TRUE(file.Open(path, false, true) && file.SetKind(kind));
    if (alone) {
      EXPECT_TRUE(file.CreateBlock(exchange::kBlockPupilMessage));
      EXPECT_TRUE(file.PutWide(exchange::PupilMessage::kTagText, text));
      file.LeaveBlock();
    } else if (kind == exchange::kKindPupilMail) {
      exchange::PupilMessage message;
      message.text = text;
      EXPECT_TRUE(message.Write(file));
    } else if (kind == exchange::kKindTutorReply) {
      exchange::TutorReply reply;
      reply.text = text;
      EXPECT_TRUE(reply.Write(file));
    } else if (kind == exchange::kKindTimedMessage) {
      EXPECT_TRUE(file.CreateBlock(exchange::kBlockTimedMessage));
      EXPECT_TRUE(file.PutTime(10401, 5) && file.PutU32(10402, 1) && file.PutU32(10403, 2));
      EXPECT_TRUE(file.PutWide(10404, text));
      file.LeaveBlock();
    } else if (kind == exchange::kKindPlainTextMessage) {
      exchange::PlainTextMessage message;
      message.plainText = bytes;
      EXPECT_TRUE(message.Write(file));
    }
    EXPECT_TRUE(file.Close());
    return mailbox.FileItem(path, 0, nullptr, nullptr, nullptr, nullptr, true);
  }
  ItemContent Content(std::istream& in) {
    ItemContent content;
    for (std::string word; in >> word;) {
      if (word == "reply") content.correspondent = u"Pupil P";
      if (word == "reply") content.kind = exchange::kKindTutorReply;
      if (word == "timed") content.kind = exchange::kKindTimedMessage;
      if (word == "plain") content.kind = exchange::kKindPlainTextMessage;
      if (word.rfind("kind", 0) == 0) content.kind = static_cast<uint8_t>(std::stoul(word.substr(4)));
      content.attachment |= word == "attachment";
      content.learningPath |= word == "learning";
      content.flagA = word == "flagged" ? 1 : content.flagA;
      content.flagB = word == "flagged" ? 2 : content.flagB;
      content.optionsUpdate |= word == "options";
    }
    return content;
  }
  std::string Sent(const std::string& path) { return WriteSentItem(path, {}, payload, 70, 0); }
  // The new id, or a word on where the filing's position or copy of the new entry (but for
  // its routes) differs from the entry filed.
  template <typename Filing>
  std::string Filed(const Filing& file) {
    uint32_t position = 99;
    IndexEntry copy;
    copy.outRoutes = {"kept"};
    const uint32_t id = file(&position, &copy);
    if (id == kNoItem) return "none";
    IndexEntry entry = *mailbox.EntryOf(id);
    entry.outRoutes = {"kept"};
    if (mailbox.Index().Find(id) != position) return Id(id) + ", position told otherwise";
    return copy == entry ? Id(id) : Id(id) + ", copy differs";
  }
  std::string Entries(const IndexEntryArray* list) {
    if (list == nullptr) return "null";
    std::vector<uint32_t> ids;
    for (const IndexEntry* entry : *list) {
      for (uint32_t i = 0; i < mailbox.Index().Count(); ++i) {
        if (&std::as_const(mailbox.Index()).EntryAt(i) == entry)
          ids.push_back(mailbox.Index().IdAt(i));
      }
    }
    return Joined(ids);
  }
  // The names in a directory that hold `part`, sorted.
  static std::string Listing(const std::string& path, const std::string& part = "") {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      names.push_back(entry.path().filename().string());
      if (names.back().find(part) == std::string::npos) names.pop_back();
    }
    std::sort(names.begin(), names.end());
    return Joined(names);
  }
  // Bytes in the notation of ByteCases.h, or "case:KIND/NAME" for the bytes of that case.
  static std::string Bytes(std::istream& in) {
    const std::string text = Rest(in);
    return ParseBytes(text.rfind("case:", 0) != 0 ? text
                                                  : ReadCaseFile(std::string(QUORVEL_TEST_DATA) +
                                                                 "/" + text.substr(5) + ".bytes"));
  }
  std::string Entry(uint32_t index) {
    const IndexEntry& e = mailbox.Index().EntryAt(index);
    std::ostringstream out;
    out << e.fileName << " from " << e.correspondent.codePage << ":"
        << Utf8(e.correspondent.text.View()) << ", date "
        << (e.date >= started && e.date <= platform::UtcSecondsNow() ? "now" : "then")
        << ", source " << e.sourceId << ", attributes " << e.attributes << ", flags "
        << unsigned(e.messageFlagA) << " " << unsigned(e.messageFlagB) << ", type "
        << e.messageType;
    return out.str();
  }
  // "open" (the index may be at any save), "sealed" (its length and CRC-32), or "other".
  std::string Seal() {
    const std::string seal = ReadFile(directory / "Mailbox.inv.sum");
    const std::string index = ReadFile(IndexPath());
    const auto size = static_cast<uint32_t>(index.size());
    if (seal.size() == 20 && seal.substr(0, 16) == "INVS" + U32(~0u) + U32(~0u) + U32(0))
      return "open";
    const bool sealed =
        seal.size() == 20 &&
        seal.substr(0, 16) == "INVS" + U32(size) + U32(ReferenceCrc(index)) + U32(0);
    return sealed ? "sealed" : "other";
  }
  std::string Path(uint32_t id) { return mailbox.PathOf(*mailbox.EntryOf(id)); }
  // A file of the mailbox directory, or with "out/" of the outside one.
  std::string At(const std::string& name) {
    return name.rfind("out/", 0) == 0 ? outside / name.substr(4) : directory / name;
  }
  // A key as "mine:N" (this mailbox's for its item N), "sender:N" (SenderKey's) or "other:N".
  std::string Key(const std::optional<exchange::ItemKey>& key) {
    if (!key) return "none";
    const bool mine = key->mailbox == mailbox.Keys().NewKey(0).mailbox;
    const bool sender = key->mailbox == SenderKey(0).mailbox;
    return (mine ? "mine:" : sender ? "sender:" : "other:") + std::to_string(key->item);
  }
  std::optional<exchange::ItemKey> KeyFrom(const std::string& text) {
    if (text.find(':') == std::string::npos) return std::nullopt;
    const auto item = static_cast<uint32_t>(std::stoul(text.substr(text.find(':') + 1)));
    return text[0] == 'm' ? mailbox.Keys().NewKey(item) : SenderKey(item);
  }
  static std::string Sealed(const std::string& bytes) { return bytes + U32(ReferenceCrc(bytes)); }
  std::string Saved() {
    const std::string image = mailbox.SavedIndexBytes();
    MailboxIndex saved;
    if (!image.empty()) DecodeIndexImage(image, saved);
    return image.empty() ? "none"
                         : std::to_string(saved.Count()) + ", queue " + Joined(saved.outboxQueue);
  }
  // The variant of IndexSteps.h a fresh open of the mailbox finds, or "other".
  std::string Reopened() {
    Mailbox reopened;
    if (!reopened.OpenIndex(directory.path(), true, 1, 0)) return "fails";
    for (int v = 0; v < 2; ++v) {
      MailboxIndex variant;
      FillVariant(variant, v);
      if (ContentOf(reopened.Index()) == ContentOf(variant)) return std::to_string(v);
    }
    return "other";
  }

  std::string Do(const std::string& word, std::istream& in) {
    if (word == "open") return Ok(Open());
    if (word == "open-read-only") return Ok(mailbox.OpenIndex(directory.path(), true, 1, 0));
    if (word == "close") return Ok(mailbox.CloseIndex(false));
    if (word == "close-saving") return Ok(mailbox.CloseIndex(true));
    if (word == "reopen") return Ok(mailbox.CloseIndex(false) && Open());
    if (word == "save") return Ok(mailbox.SaveIndex());
    if (word == "saves") {
      bool saved = true;
      for (uint32_t n = Number(in); n > 0; --n) saved = saved && mailbox.SaveIndex();
      return Ok(saved);
    }
    if (word == "variant") {
      FillVariant(mailbox.Index(), static_cast<int>(Number(in)));
      return "done";
    }
    if (word == "steps") {
      for (uint32_t n = Number(in); n > 0; --n) TakeStep(mailbox.Index());
      return "done";
    }
    if (word == "reopened") return Reopened();
    if (word == "index-whole") {
      const std::string whole =
          EncodeIndexImage(mailbox.NextId(), mailbox.LastSaveTime(), mailbox.Index());
      return ReadFile(IndexPath()) == whole ? "yes" : "no";
    }
    if (word == "index-is") {
      MailboxIndex variant;
      FillVariant(variant, static_cast<int>(Number(in)));
      return ReadFile(IndexPath()).substr(21) == EncodeIndexImage(1, 1, variant).substr(21) ? "yes"
                                                                                            : "no";
    }
    if (word == "delete") return Ok(std::filesystem::remove(directory / Rest(in)));
    // Asked of the file system: the mailbox may hold the file open against readers (Windows).
    if (word == "size") return std::to_string(std::filesystem::file_size(directory / Rest(in)));
    // The bytes of NAME with the byte at AT xor 1, and without the last CUT.
    if (word == "damage") {
      const std::string path = At(Next(in));
      const uint32_t at = Number(in);
      const std::string bytes = at == UINT32_MAX ? ReadFile(path) : Flipped(ReadFile(path), at, 1);
      WriteFile(path, bytes.substr(0, bytes.size() - Number(in)));
      return "done";
    }
    if (word == "mail") {
      const std::string item = NewItem(Content(in));
      return Filed([&](uint32_t* at, IndexEntry* copy) {
        return mailbox.FileNewMail(item, {"smtp|a@b"}, CodedTextArray(), at, copy);
      });
    }
    if (word == "answer") {
      const uint32_t parent = Number(in);
      const std::string item = NewItem(Content(in));
      return Filed([&](uint32_t* at, IndexEntry* copy) {
        return mailbox.FileReply(item, parent, "smtp|a@b", CodedText(), at, copy);
      });
    }
    if (word == "mail-text") {
      const auto kind = static_cast<uint8_t>(Number(in));
      const bool alone = (in >> std::ws).peek() == 'a';
      if (alone) Next(in);
      return Id(FileText(kind, alone, Bytes(in)));
    }
    // Items answering each the one before, from a root on, until one is refused: how many.
    if (word == "chain") {
      const std::string item = NewItem();
      uint32_t filed = 0;
      for (uint32_t n = Number(in), parent = 0; filed < n; ++filed) {
        parent = mailbox.FileItem(item, parent, nullptr, nullptr, nullptr, nullptr, true);
        if (parent == kNoItem) break;
      }
      return std::to_string(filed);
    }
    if (word == "mail-to") {
      std::vector<std::string> routes;
      for (std::string route; in >> route;) routes.push_back(route);
      return Filed([&](uint32_t* at, IndexEntry* copy) {
        return mailbox.FileNewMail(NewItem(), routes, CodedTextArray(), at, copy);
      });
    }
    if (word == "mail-missing") {
      return Id(mailbox.FileNewMail(outside / "missing.qv6", {}, CodedTextArray()));
    }
    if (word == "sent-item") {
      const std::string path = outside / Next(in);
      const uint32_t sender = Number(in), parent = Number(in);
      const exchange::StampKeys keys{KeyFrom(Next(in)), KeyFrom(Next(in))};
      if (sender == UINT32_MAX) WriteItem(path, Content(in), payload);
      if (sender != UINT32_MAX) WriteSentItem(path, Content(in), payload, sender, parent);
      if (keys.own || keys.parent) WithKeys(path, keys);
      return "done";
    }
    if (word == "import") {
      uint32_t position = 99;
      bool notAnItem = false;
      const uint32_t id =
          mailbox.ImportExchangeFile(outside / Rest(in), &position, nullptr, nullptr, &notAnItem);
      if (id == kNoItem) return notAnItem ? "none, not an item" : "none";
      return Id(id) + " at " + std::to_string(position);
    }
    if (word == "take-out") {
      const std::string from = Path(Number(in));
      std::filesystem::copy_file(from, outside / Rest(in));
      return "done";
    }
    if (word == "keys") {
      exchange::ExchangeFile item;
      if (!item.Open(Path(Number(in)), true, false)) return "unreadable";
      const exchange::StampKeys keys = exchange::ReadStampKeys(item);
      item.Close();
      return "own " + Key(keys.own) + ", parent " + Key(keys.parent);
    }
    if (word == "key-of") return Key(mailbox.Keys().KeyOf(Number(in)));
    if (word == "mailbox-key") {
      const auto key = mailbox.Keys().NewKey(0).mailbox;
      const bool kept = key == mailboxKey;
      mailboxKey = key;
      return kept ? "kept" : "new";
    }
    // The side file of the keys: its head, then a record per "ID same|other KEY", marked as
    // ID's filing or another one, keyed as this mailbox's item KEY.
    if (word == "keys-file") {
      const auto key = mailbox.Keys().NewKey(0).mailbox;
      std::string bytes = Sealed("QKEY" + std::string(key.begin(), key.end()));
      std::string which;
      for (uint32_t id, item; in >> id >> which >> item;) {
        const IndexEntry& entry = *mailbox.EntryOf(id);
        const uint32_t mark = ReferenceCrc(entry.fileName + U32(entry.date));
        bytes += Sealed(U32(id) + U32(mark + (which == "same" ? 0 : 1)) +
                        std::string(key.begin(), key.end()) + U32(item));
      }
      WriteFile(directory / kKeysFileName, bytes);
      return "done";
    }
    if (word == "tree") return Tree().empty() ? "none" : Tree();
    if (word == "queue") return Joined(mailbox.Index().outboxQueue);
    if (word == "set-queue") {
      mailbox.Index().outboxQueue.clear();
      for (uint32_t id; in >> id;) mailbox.Index().outboxQueue.push_back(id);
      return "done";
    }
    if (word == "files") return Listing(directory.path(), ".qv");
    if (word == "saved") return Saved();
    if (word == "logged") return Joined(logged.Take());
    if (word == "next-id") return std::to_string(mailbox.NextId());
    if (word == "entry") return Entry(Number(in));
    if (word == "read-only") return mailbox.IsReadOnly() ? "yes" : "no";
    if (word == "seal") return Seal();
    if (word == "seal-names") {
      const std::optional<IndexSeal> seal = DecodeSeal(ReadFile(directory / "Mailbox.inv.sum"));
      return seal ? Joined(seal->removedNames) : "unreadable";
    }
    if (word == "put") {
      const std::string name = Next(in);
      WriteFile(At(name), Bytes(in));
      return "done";
    }
    if (word == "same") {
      const std::string name = Next(in);
      return ReadFile(directory / name) == Bytes(in) ? "yes" : "no";
    }
    if (word == "exists") {
      const std::string path = directory / Rest(in);
      return !std::filesystem::exists(path) ? "no" : ReadFile(path).empty() ? "empty" : "yes";
    }
    if (word == "copy") {
      const std::string from = Next(in);
      std::filesystem::copy_file(directory / from, directory / Next(in));
      return "done";
    }
    if (word == "name") return mailbox.EntryOf(Number(in))->fileName;
    if (word == "temporary") return Joined(temporary.Files());
    if (word == "attributes") return std::to_string(AttributesAt(&context, Number(in)));
    if (word == "change") {
      const uint32_t index = Number(in), set = Number(in);
      return Ok(ChangeAttributesAt(&context, index, static_cast<uint16_t>(set), Number(in)));
    }
    if (word == "type") return std::to_string(MessageTypeAt(&context, Number(in)));
    if (word == "set-type") {
      const uint32_t index = Number(in);
      mailbox.Index().EntryAt(index).messageType = Number(in);
      return "done";
    }
    if (word == "text") return "\"" + Utf8(MessageTextAt(&context, Number(in)).View()) + "\"";
    if (word == "delete-file") return Ok(std::filesystem::remove(Path(Number(in))));
    // A directory with a file in it where the item file was: it cannot be deleted as a file.
    if (word == "stuck-file") {
      const std::string stuck = Path(Number(in));
      std::filesystem::remove(stuck);
      std::filesystem::create_directory(stuck);
      WriteFile(stuck + "/inside", "x");
      return "done";
    }
    if (word == "free-name") {
      const std::string name = Rest(in);
      std::filesystem::remove(directory / name);
      mailbox.NameFreed(name);
      return "done";
    }
    if (word == "index-list") {
      bool allRead = false;
      const std::string indexes = Joined(IndexesOfList(ParseBytes(Rest(in)), allRead));
      return allRead ? indexes : indexes + ", not all read";
    }
    if (word == "remove") return Ok(RemoveMailAtIndex(&context, Number(in)));
    if (word == "remove-list") return Ok(RemoveMailsAtIndexes(&context, ParseBytes(Rest(in))));
    if (word == "remove-item") {
      std::vector<std::string> files;
      const bool removed = RemoveItem(mailbox, Number(in), files);
      return Ok(removed) + ", " + std::to_string(files.size()) + " files";
    }
    // The working copy: the byte at 12345 of the loaded item, or "none".
    if (word == "load") {
      const uint32_t id = Number(in);
      exchange::ExchangeFile* item = mailbox.LoadItem(id, Rest(in) == "read-only");
      uint8_t byte = 0;
      return item == nullptr ? "none"
                             : "byte " + std::to_string(item->GetByte(12345, byte) ? byte : 0);
    }
    if (word == "poke")
      return Ok(mailbox.LoadItem(mailbox.WorkingItemId(), false)->SetByte(12345, 7));
    if (word == "working") return Id(mailbox.WorkingItemId());
    if (word == "release") {
      mailbox.ReleaseItem();
      return "done";
    }
    if (word == "write") {
      exchange::PupilMailContent mail;
      mail.message.number = 31;
      mail.message.reference = CodedText(1250, WideString(u"lesson \u0159"));
      const uint32_t answered = Number(in);
      if (Rest(in) == "attachment") {  // 1 MiB of text, packing to a few KiB
        std::string lesson;
        while (lesson.size() < (1u << 20)) lesson += "la maison est grande et le jardin fleuri\r\n";
        WriteFile(outside / "lesson.txt", lesson);
        mail.attachments = {outside / "lesson.txt"};
      }
      return Ok(PupilWriteMail(&context, mail, "3|/out", answered));
    }
    if (word == "tutor-reply") {
      return Ok(TutorReplyToMail(&context, exchange::TutorReplyContent(), Number(in), "3|/tutor"));
    }
    if (word == "names") {
      std::vector<std::string> names;
      const IndexEntry& entry = mailbox.Index().EntryAt(Number(in));
      for (uint32_t i = 0; i < entry.nameList.Size(); ++i) {
        names.push_back(std::to_string(entry.nameList[i].codePage) + ":" +
                        Utf8(entry.nameList[i].text.View()));
      }
      return Joined(names);
    }
    if (word == "routes") return Joined(mailbox.EntryOf(Number(in))->outRoutes);
    if (word == "change-routes") {
      std::string to, from;
      in >> to >> from;
      ChangeOutRoutes(&context, to == "-" ? nullptr : to.c_str(),
                      from == "-" ? nullptr : from.c_str());
      return mailbox.IsDirty() ? "changed" : "unchanged";
    }
    if (word == "dirty") {
      mailbox.SetDirty(Next(in) == "yes");
      return "done";
    }
    if (word == "route") {
      const OutboundRoute route(Bytes(in));
      const std::string read =
          std::to_string(static_cast<uint32_t>(route.Kind())) + " | " + Shown(route.Field(1)) +
          " | " + std::to_string(route.NumberField(3)) + " | " + Shown(route.SenderName());
      return route.Field(9).empty() ? read : read + " | field 9 " + Shown(route.Field(9));
    }
    if (word == "send") return Ok(SendQueuedItems(&context));
    if (word == "send-without-context") return Ok(SendQueuedItems(nullptr));
    if (word == "sent") return Entries(SentItemsOf(&context));
    if (word == "not-sent") return Entries(NotSentItemsOf(&context));
    if (word == "lock") {
      const std::string mode = Rest(in);
      SetLockingMode(&context, (mode == "sending" || mode == "both" ? kLockSending : 0) |
                                   (mode == "receiving" || mode == "both" ? kLockReceiving : 0));
      return "done";
    }
    if (word == "forget-mailbox") {
      static_cast<void>(context.mailbox.release());
      return "done";
    }
    if (word == "share") return Listing(share.path());
    if (word == "copied") {
      const uint32_t id = Number(in);
      return ReadFile(share / Rest(in)) == ReadFile(Path(id)) ? "yes" : "no";
    }
    if (word == "share-item") {
      Sent(share / Rest(in));
      return "done";
    }
    if (word == "from-share") {
      context.fileInProtocols.clear();
      AddFileInProtocol(&context, share.path());
      return "done";
    }
    // A maildrop of mails: "item" (a mail carrying an item) or "plain" (one without).
    if (word == "from-pop") {
      std::vector<std::string> mails;
      for (std::string kind; in >> kind;) {
        mails.push_back(kind == "item"
                            ? MailWith({Sent(outside / ("x" + std::to_string(++written)))})
                            : "Subject: plain\r\n\r\ntext\r\n");
      }
      drop = std::make_unique<PopMailDrop>(mails);
      conversations = 0;
      context.popInProtocols.clear();
      AddPopInProtocol(&context, "127.0.0.1", drop->port(), "user", "secret");
      return "done";
    }
    if (word == "no-sources") {
      context.popInProtocols.clear();
      context.fileInProtocols.clear();
      return "done";
    }
    if (word == "receive") {
      conversations += context.popInProtocols.empty() ? 0 : 1;
      return Ok(ReceiveMails(&context));
    }
    // The maildrop after its conversations: the mails left, and the deletions asked.
    if (word == "pop") {
      EXPECT_TRUE(drop->WaitForConversations(conversations));
      std::string deletions;
      for (const std::string& command : drop->Commands()) {
        if (command.rfind("DELE", 0) == 0) deletions += ", " + command;
      }
      return std::to_string(drop->Messages().size()) + " left" + deletions;
    }
    ADD_FAILURE() << "no command " << word;
    return "";
  }

  const uint32_t started = platform::UtcSecondsNow();
  LoggedSites logged;
  ThreadContext context;
  std::unique_ptr<PopMailDrop> drop;
  uint32_t conversations = 0;
  std::array<uint8_t, 16> mailboxKey{};
};

TEST(MailboxScripts, EachCommandGivesItsResult) {
  const std::string folder = std::string(QUORVEL_TEST_DATA) + "/mailbox-scripts";
  int scripts = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.path().extension() != ".script") continue;
    ++scripts;
    Script script;
    std::ifstream in(file.path());
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      for (size_t at; (at = line.find("$share")) != std::string::npos;) {
        line.replace(at, 6, script.share.path());
      }
      const size_t arrow = line.find(" => ");
      if (line.empty() || line[0] == '#') continue;
      SCOPED_TRACE(file.path().filename().string() + ":" + std::to_string(number) + ": " + line);
      ASSERT_NE(arrow, std::string::npos);
      EXPECT_EQ(script.Run(line.substr(0, arrow)), line.substr(arrow + 4));
    }
  }
  EXPECT_GE(scripts, 4);
}

}  // namespace
}  // namespace quorvel::testing
