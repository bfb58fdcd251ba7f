// The mailbox tests' set-up: a mailbox directory, a fresh temporary directory
// (working copies land there), writers of small items, of items stamped as
// another mailbox sends them and of mails carrying them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../exchange/ItemTest.h"
#include "exchange/ExchangeFile.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"
#include "frame/ThreadContext.h"
#include "mailbox/IndexFiles.h"
#include "mailbox/IndexFormat.h"
#include "mailbox/Mailbox.h"
#include "text/Base64.h"

namespace quorvel::testing {

struct ItemContent {
  uint8_t kind = exchange::kKindPupilMail;
  std::u16string correspondent = u"Tutor T";
  uint8_t flagA = 0;
  uint8_t flagB = 0;
  bool attachment = false;     // one file in block 10600
  bool optionsUpdate = false;  // tag 10704 in block 10700
  bool learningPath = false;   // a file in block 11705 of block 10700
  uint32_t number = 0;         // the message's number
};

// Writes a packed exchange file of the given content at `path`.
inline void WriteItem(const std::string& path, const ItemContent& content,
                      const std::string& payloadPath) {
  exchange::ExchangeFile file;
  ASSERT_TRUE(file.Open(path, false, true));
  ASSERT_TRUE(file.SetKind(content.kind));
  const CodedText correspondent(1252, WideString(content.correspondent));
  if (content.kind == exchange::kKindTutorReply) {
    exchange::TutorReply reply;
    reply.correspondent = correspondent;
    reply.number = content.number;
    ASSERT_TRUE(reply.Write(file));
  } else if (content.kind != exchange::kKindPlainTextMessage) {
    exchange::PupilMessage message;
    message.correspondent = correspondent;
    message.number = content.number;
    message.messageFlagA = content.flagA;
    message.messageFlagB = content.flagB;
    ASSERT_TRUE(message.Write(file));
  }
  const auto put = [&](uint16_t tag, const char16_t* name) {
    ASSERT_TRUE(file.PutFile(tag, payloadPath, CodedText(1252, WideString(name))));
  };
  if (content.attachment) {
    ASSERT_TRUE(file.CreateBlock(exchange::kBlockAttachments));
    put(10601, u"a.txt");
    file.LeaveBlock();
  }
  if (content.optionsUpdate || content.learningPath) {
    ASSERT_TRUE(file.CreateBlock(exchange::kBlockUserData));
    if (content.optionsUpdate) put(10704, u"options.upd");
    if (content.learningPath) {
      ASSERT_TRUE(file.CreateBlock(11705));
      put(0, u"path.lp");
      file.LeaveBlock();
    }
    file.LeaveBlock();
  }
  ASSERT_TRUE(file.Close());
}

// An item stamped with its sender's id for it and the id it answers.
inline std::string WriteSentItem(const std::string& path, const ItemContent& content,
                                 const std::string& payloadPath, uint32_t senderId,
                                 uint32_t parentId) {
  WriteItem(path, content, payloadPath);
  exchange::ExchangeFile file;
  EXPECT_TRUE(file.Open(path, false, false));
  exchange::ItemStamp stamp;
  stamp.itemId = senderId;
  stamp.parentId = parentId;
  EXPECT_TRUE(stamp.Write(file));
  // Filed long ago, stamped again since.
  EXPECT_TRUE(file.EnterBlock(exchange::kBlockItemStamp));
  EXPECT_TRUE(file.SetTime(exchange::ItemStamp::kTagCreated, 1000000000));
  EXPECT_TRUE(file.SetTime(exchange::ItemStamp::kTagModified, 1100000000));
  file.LeaveBlock();
  EXPECT_TRUE(file.Close());
  return path;
}

// The key another mailbox gives its item `id`.
inline exchange::ItemKey SenderKey(uint32_t id) {
  exchange::ItemKey key;
  key.mailbox.fill(0x5A);
  key.item = id;
  return key;
}

// Gives a sent item the keys of its stamp.
inline std::string WithKeys(const std::string& path, const exchange::StampKeys& keys) {
  exchange::ExchangeFile file;
  EXPECT_TRUE(file.Open(path, false, false));
  EXPECT_TRUE(exchange::WriteStampKeys(file, keys));
  EXPECT_TRUE(file.Close());
  return path;
}

// A MIME mail whose parts are the given files, base64 encoded.
inline std::string MailWith(const std::vector<std::string>& files) {
  std::string mail =
      "From: t@example.org\r\nTo: p@example.org\r\nSubject: items\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
      "Content-Type: text/plain\r\n\r\nbody\r\n";
  for (size_t i = 0; i < files.size(); ++i) {
    std::string encoded;
    EXPECT_TRUE(Base64EncodeFile(files[i], encoded));
    mail += "--b\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"part" +
            std::to_string(i) + ".bin\"\r\n\r\n" + encoded + "\r\n";
  }
  return mail + "--b--\r\n";
}

// The sender ids of the items the saved index of a mailbox directory lists
// (that of an unfinished save when its side file is complete).
inline std::multiset<uint32_t> SavedSenderIds(const std::string& directory) {
  const std::string image = ImageInSideFile(ReadFile(directory + kSideFileName))
                                .value_or(ReadFile(directory + kIndexFileName));
  MailboxIndex index;
  if (!image.empty()) DecodeIndexImage(image, index);
  std::multiset<uint32_t> ids;
  for (uint32_t i = 0; i < index.Count(); ++i) {
    exchange::ExchangeFile item;
    if (!item.Open(directory + index.EntryAt(i).fileName, true, false)) continue;
    exchange::ItemStamp stamp;
    if (stamp.Read(item)) ids.insert(stamp.itemId);
    item.Close();
  }
  return ids;
}

// `bytes` with the byte at `at` xor `mask`.
inline std::string Flipped(std::string bytes, size_t at, uint8_t mask) {
  bytes[at] = static_cast<char>(bytes[at] ^ mask);
  return bytes;
}

// A mailbox directory, an outside one for new items, and the mailbox, not yet open.
class MailboxFiles {
 public:
  MailboxFiles() { WriteFile(payload, "payload"); }

  bool Open() { return mailbox.OpenIndex(directory.path(), false, 1, 0); }
  std::string IndexPath() const { return directory / "Mailbox.inv"; }

  // A new item in the outside directory, ready to be filed.
  std::string NewItem(const ItemContent& content = {}) {
    const std::string path = outside / ("item" + std::to_string(++written) + ".qv6");
    WriteItem(path, content, payload);
    return path;
  }
  uint32_t FileMail(const ItemContent& content = {}) {
    return mailbox.FileNewMail(NewItem(content), {"smtp|a@b"}, CodedTextArray());
  }
  uint32_t FileAnswer(uint32_t parent, const ItemContent& content = {}) {
    return mailbox.FileReply(NewItem(content), parent, "smtp|a@b", CodedText());
  }
  // The ids in display order with their depths, as "id:depth" words.
  std::string Tree() const {
    std::string tree;
    for (uint32_t i = 0; i < mailbox.Index().Count(); ++i) {
      if (!tree.empty()) tree += ' ';
      tree += std::to_string(mailbox.Index().IdAt(i)) + ":" +
              std::to_string(mailbox.Index().EntryAt(i).depth);
    }
    return tree;
  }
  // The number of entries of the index on disk (none before a first save).
  uint32_t SavedCount() {
    MailboxIndex saved;
    if (const std::string image = mailbox.SavedIndexBytes(); !image.empty()) {
      DecodeIndexImage(image, saved);
    }
    return saved.Count();
  }

  TemporaryDirectoryOverride temporary;
  TempDirectory directory;
  TempDirectory outside;
  std::string payload = outside / "payload.txt";
  int written = 0;
  Mailbox mailbox;
};

class MailboxTest : public ::testing::Test, public MailboxFiles {};

// The fixture's mailbox open, and a thread context working on it without
// owning it.
class OpenMailboxTest : public MailboxTest {
 protected:
  OpenMailboxTest() {
    EXPECT_TRUE(Open());
    context.mailbox.reset(&mailbox);
  }
  ~OpenMailboxTest() override { static_cast<void>(context.mailbox.release()); }

  ThreadContext context;
};

}  // namespace quorvel::testing
