// The mailbox tests' set-up: a mailbox directory, a fresh temporary
// directory (working copies land there), writers of small items to file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../exchange/ItemTest.h"
#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"
#include "frame/ThreadContext.h"
#include "mailbox/IndexFormat.h"
#include "mailbox/Mailbox.h"

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
  if (content.attachment) {
    ASSERT_TRUE(file.CreateBlock(exchange::kBlockAttachments));
    ASSERT_TRUE(file.PutFile(10601, payloadPath, CodedText(1252, WideString(u"a.txt"))));
    file.LeaveBlock();
  }
  if (content.optionsUpdate || content.learningPath) {
    ASSERT_TRUE(file.CreateBlock(exchange::kBlockUserData));
    if (content.optionsUpdate) {
      ASSERT_TRUE(file.PutFile(10704, payloadPath, CodedText(1252, WideString(u"options.upd"))));
    }
    if (content.learningPath) {
      ASSERT_TRUE(file.CreateBlock(11705));
      ASSERT_TRUE(file.PutFile(0, payloadPath, CodedText(1252, WideString(u"path.lp"))));
      file.LeaveBlock();
    }
    file.LeaveBlock();
  }
  ASSERT_TRUE(file.Close());
}

class MailboxTest : public ::testing::Test {
 protected:
  MailboxTest() { WriteFile(payload, "payload"); }

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
  // The item files in the mailbox directory.
  size_t ItemFiles() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
      count += entry.path().extension() == ".qv6" ? 1 : 0;
    }
    return count;
  }

  TemporaryDirectoryOverride temporary;
  TempDirectory directory;
  TempDirectory outside;
  std::string payload = outside / "payload.txt";
  int written = 0;
  Mailbox mailbox;
};

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
