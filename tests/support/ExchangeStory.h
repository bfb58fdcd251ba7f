// The exchange end to end through libquorvel.so, as two hosts make it: a
// pupil and a tutor, each with a mailbox and a host thread of their own,
// pupil mail (attachment and learning data) -> tutor reply (attachment) ->
// the pupil's answer. A transport says how items travel (shared directories,
// or SMTP and POP); the story asserts what the system says at every step:
// attribute words, the sent and not-sent lists, where each item lands in its
// thread, and the files byte for byte. The outbox queue on disk is the
// mailbox tests' (IndexFileTest, OutboundSendingTest).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "HostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace quorvel::testing {

class ExchangeTransport {
 public:
  virtual ~ExchangeTransport() = default;
  virtual std::string Route(const std::string& fromUser, const std::string& toUser) const = 0;
  // On the receiving user's host thread: registers where its items come from.
  virtual void RegisterInbound(const std::string& user) const = 0;
  // Blocks until an item sent to `user` can be received.
  virtual void AwaitDelivery(const std::string& user) const = 0;
};

class ExchangeStory {
 public:
  ExchangeStory(const ExchangeTransport& transport, std::string pupil, std::string tutor)
      : transport_(transport), pupilUser_(std::move(pupil)), tutorUser_(std::move(tutor)) {}

  void Run() {
    WriteFile(work_ / "essay.txt", "ma r\xC3\xA9" "daction\r\n.point\r\n");
    WriteFile(work_ / "l.trk", Bytes(5000, 1));
    WriteFile(work_ / "l.dia", Bytes(300, 2));
    WriteFile(work_ / "options.ini", "[Options]\r\nLevel=4\r\n");
    WriteFile(work_ / "fix.bin", Bytes(70000, 3));
    pupil_.Run([&] { Open(pupilUser_); });
    tutor_.Run([&] { Open(tutorUser_); });

    // The pupil writes while offline: the route leads nowhere, so the first
    // run keeps the mail queued; the host then points the queue elsewhere.
    pupil_.Run([&] {
      const std::vector<std::string> attachments{work_ / "essay.txt"}, tracking{work_ / "l.trk"},
          diagnostic{work_ / "l.dia"};
      const std::string optionsIni = work_ / "options.ini", offline = "3|" + work_ / "missing";
      const CodedText reference(1252, WideString(u"essay")), name(1252, WideString(u"Léa"));
      const WideString text(u"Bonjour !");
      const ArchivedU32 options;
      ASSERT_TRUE(TessalyPupilWriteMail(7, &reference, &name, 0, 0, &text, &options, 0, "", "",
                                        &attachments, &tracking, &diagnostic, &optionsIni,
                                        &offline, UINT32_MAX));
      ExpectItem(0, 20, 0, kItemNotSent | kItemHasAttachments);
      ASSERT_TRUE(TessalySendMails());
      ExpectLists({}, {TessalyGetItemAtIndex(0)});
      ExpectItem(0, 20, 0, kItemNotSent | kItemHasAttachments);
      TessalyChangeOutProtocolForUnsentMessages(transport_.Route(pupilUser_, tutorUser_).c_str(),
                                                nullptr);
      Send(pupilUser_, 0);
    });

    Receive(tutor_, tutorUser_, 0, 20, 0, u"Bonjour !",
            {{"essay.txt", 'a'}, {"l.trk", 't'}, {"l.dia", 'd'}, {"options.ini", 'o'}});
    tutor_.Run([&] {
      const std::vector<std::string> attachments{work_ / "fix.bin"};
      const std::string route = transport_.Route(tutorUser_, pupilUser_);
      const CodedText name(1252, WideString(u"Marc"));
      const WideString text(u"Très bien.");
      ASSERT_TRUE(TessalyTutorReplyToMail(1, &name, &text, &attachments, 0, &route));
      ExpectItem(1, 21, 1, kItemNotSent | kItemHasAttachments);
      Send(tutorUser_, 1);
    });

    Receive(pupil_, pupilUser_, 1, 21, 1, u"Très bien.", {{"fix.bin", 'a'}});
    pupil_.Run([&] {
      EXPECT_EQ(TessalyGetParentIndex(2), 0) << "the reply lands under the pupil's mail";
      const std::string route = transport_.Route(pupilUser_, tutorUser_);
      const CodedText name(1252, WideString(u"Léa"));
      const WideString text(u"Merci !");
      const ArchivedU32 options;
      ASSERT_TRUE(TessalyPupilWriteMail(8, &CodedText::Default(), &name, 0, 0, &text, &options, 0,
                                        "", "", nullptr, nullptr, nullptr, nullptr, &route, 1));
      ExpectItem(2, 20, 2, kItemNotSent);
      Send(pupilUser_, 2);
    });

    Receive(tutor_, tutorUser_, 2, 20, 2, u"Merci !", {});
    tutor_.Run([&] { EXPECT_EQ(TessalyGetParentIndex(3), 1) << "the answer lands under the reply"; });
  }

 private:
  struct Arrival {
    std::string name;
    char list;  // 'a' attachment, 't' tracking, 'd' diagnostic, 'o' options.ini
  };

  static std::string Bytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return bytes;
  }

  void Open(const std::string& user) {
    ASSERT_TRUE(TessalyOpenMailBox(work_.path().c_str(), user.c_str()));
    transport_.RegisterInbound(user);
  }

  static void ExpectItem(uint32_t index, uint32_t kind, uint8_t depth, uint16_t attributes) {
    const IndexEntry* entry = TessalyGetItemAtIndex(index);
    ASSERT_NE(entry, nullptr) << "no item at " << index;
    EXPECT_EQ(entry->messageType, kind) << index;
    EXPECT_EQ(entry->depth, depth) << index;
    EXPECT_EQ(entry->attributes, attributes) << index;
    EXPECT_EQ(TessalyGetItemAtIndex(index + 1), nullptr) << "the newest item is the last";
  }

  static void ExpectLists(const std::vector<const IndexEntry*>& sent,
                          const std::vector<const IndexEntry*>& notSent) {
    for (auto [array, expected] : {std::pair{TessalyGetSentItems(), &sent},
                                   std::pair{TessalyGetNotSentItems(), &notSent}}) {
      ASSERT_NE(array, nullptr);
      std::vector<const IndexEntry*> got(array->Data(), array->Data() + array->Size());
      EXPECT_EQ(got, *expected);
    }
  }

  // Sends the one queued item at `index`: it is listed as sent and loses its
  // not-sent bit.
  void Send(const std::string& user, uint32_t index) {
    ASSERT_TRUE(TessalySendMails());
    ExpectLists({TessalyGetItemAtIndex(index)}, {});
    EXPECT_EQ(TessalyGetItemAttributes(index) & kItemNotSent, 0) << user;
  }

  // The receiver's run brings the one item sent, unread, to `index` at
  // `depth`; reading it gives the text and clears the bit; its files come
  // out byte for byte and it carries no others.
  void Receive(quorvel::tool::HostThread& host, const std::string& user, uint32_t index, uint32_t kind,
               uint8_t depth, const std::u16string& text, const std::vector<Arrival>& files) {
    transport_.AwaitDelivery(user);
    host.Run([&] {
      ASSERT_TRUE(TessalyReceiveMails());
      const uint16_t attachments = files.empty() ? 0 : kItemHasAttachments;
      ExpectItem(index, kind, depth, kItemUnread | attachments);
      EXPECT_EQ(std::u16string(TessalyGetItemMessageText(index).Owned().View()), text);
      EXPECT_EQ(TessalyGetItemAttributes(index), attachments);
      int32_t counts[4] = {};
      const std::string out = work_ / (user + "-out");
      for (const Arrival& file : files) {
        CodedText name;
        const int32_t n = file.list == 'a' ? counts[0]++ : file.list == 't' ? counts[1]++
                                                       : file.list == 'd' ? counts[2]++
                                                                          : counts[3]++;
        const bool got = file.list == 'a'   ? TessalyGetAttachment(index, n, &name, out.c_str())
                         : file.list == 't' ? TessalyGetUserTrackingFile(index, n, &name, out.c_str())
                         : file.list == 'd' ? TessalyGetUserDiagFile(index, n, &name, out.c_str())
                                            : TessalyGetUserOptionsIniFile(index, &name, out.c_str());
        ASSERT_TRUE(got) << file.name;
        EXPECT_EQ(std::string(name.text.View().begin(), name.text.View().end()), file.name);
        EXPECT_TRUE(ReadFile(out) == ReadFile(work_ / file.name)) << file.name << " changed";
      }
      uint16_t tracking = 0, diagnostic = 0, ini = 0, path = 0, upd = 0;
      TessalyGetNbUserData(index, &tracking, &diagnostic, &ini, &path, &upd);
      EXPECT_EQ(TessalyGetNbAttachments(index), counts[0]);
      EXPECT_EQ((std::vector<int32_t>{tracking, diagnostic, ini, path, upd}),
                (std::vector<int32_t>{counts[1], counts[2], counts[3], 0, 0}));
    });
  }

  const ExchangeTransport& transport_;
  std::string pupilUser_, tutorUser_;
  TempDirectory work_{"quorvel-exchange-"};
  std::mutex hostMutex_;
  quorvel::tool::HostThread pupil_{hostMutex_.native_handle()};
  quorvel::tool::HostThread tutor_{hostMutex_.native_handle()};
};

}  // namespace quorvel::testing
