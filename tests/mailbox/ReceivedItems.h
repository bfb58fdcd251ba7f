// Items stamped as another mailbox sends them, mails carrying them, and
// which of them a saved index lists.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "MailboxFixture.h"
#include "exchange/ItemKey.h"
#include "exchange/ItemStamp.h"
#include "mailbox/IndexFiles.h"
#include "mailbox/IndexFormat.h"
#include "text/Base64.h"

namespace quorvel::testing {

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

}  // namespace quorvel::testing
