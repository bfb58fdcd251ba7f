// Where items land when several pupils' mailboxes give their items the same
// ids, through libquorvel.so over shared directories: each user's mailbox has
// a host thread of its own and receives from its own directory; items go
// there by kind-3 routes. Mails that cross are the demo's (quorvel demo). Each item's text
// names it; a mailbox is shown as its items in display order, each with its
// depth ("A0 RA1 ..."), so that every item must sit under the one it answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "HostThread.h"
#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

using namespace quorvel::testing;

// The hosts' mutex outlives every worker: a worker still takes it to leave
// its context after the completion callback has returned.
std::mutex& HostMutex() {
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}
class Users {
 public:
  void Add(const std::string& user) {
    auto host = std::make_unique<quorvel::tool::HostThread>(HostMutex().native_handle());
    std::filesystem::create_directory(Inbox(user));
    host->Run([&] {
      ASSERT_TRUE(TessalyOpenMailBox(work_.path().c_str(), user.c_str()));
      TessalyAddProtocolFileIn(Inbox(user).c_str());
    });
    hosts_[user] = std::move(host);
  }

  // `user` writes `text` to `to`: a pupil mail (a tutor reply when `reply`),
  // answering the item whose text is `answers` (none: a new thread).
  void Write(const std::string& user, const std::string& to, const std::u16string& text,
             const std::u16string& answers = u"", bool reply = false) {
    hosts_.at(user)->Run([&] {
      const std::string route = "3|" + Inbox(to);
      const CodedText name(1252, WideString(u"someone"));
      const WideString wide(text);
      const uint32_t answered = answers.empty() ? UINT32_MAX : IndexOf(answers);
      if (reply) {
        const std::vector<std::string> none;
        ASSERT_TRUE(TessalyTutorReplyToMail(2, &name, &wide, &none, answered, &route));
        return;
      }
      const ArchivedU32 options;
      ASSERT_TRUE(TessalyPupilWriteMail(1, &CodedText::Default(), &name, 0, 0, &wide, &options, 0,
                                        "", "", nullptr, nullptr, nullptr, nullptr, &route,
                                        answered));
    });
  }
  void Reply(const std::string& user, const std::string& to, const std::u16string& text,
             const std::u16string& answers) {
    Write(user, to, text, answers, true);
  }

  // Receives, then sends what waits.
  void Exchange(const std::string& user) {
    hosts_.at(user)->Run([&] {
      ASSERT_TRUE(TessalyReceiveMails());
      ASSERT_TRUE(TessalySendMails());
    });
  }

  std::string Tree(const std::string& user) {
    std::string tree;
    hosts_.at(user)->Run([&] {
      for (uint32_t i = 0; const IndexEntry* entry = TessalyGetItemAtIndex(i); ++i) {
        const WideString text = TessalyGetItemMessageText(i).Owned();
        for (const char16_t c : text.View()) tree += static_cast<char>(c);
        tree += std::to_string(entry->depth) + " ";
      }
    });
    return tree;
  }

 private:
  static uint32_t IndexOf(const std::u16string& text) {
    for (uint32_t i = 0; TessalyGetItemAtIndex(i) != nullptr; ++i) {
      if (TessalyGetItemMessageText(i).Owned() == WideString(text)) return i;
    }
    ADD_FAILURE() << "no item says so";
    return UINT32_MAX;
  }
  std::string Inbox(const std::string& user) const { return work_ / ("to-" + user); }

  TempDirectory work_{"quorvel-crossing-"};
  std::map<std::string, std::unique_ptr<quorvel::tool::HostThread>> hosts_;
};

// Three pupils' mailboxes give their items the same ids. (A copy into a
// directory replaces one of the same name: the tutor takes each pupil's item
// before the next comes.)
TEST(CrossingThreadsApiTest, ATutorsRepliesAndThePupilsAnswersLandInEachPupilsThread) {
  Users users;
  const std::u16string pupils[] = {u"1", u"2", u"3"};
  users.Add("tutor");
  for (const std::u16string& n : pupils) {
    const std::string pupil = "p" + std::string(n.begin(), n.end());
    users.Add(pupil);
    users.Write(pupil, "tutor", u"M" + n);
    users.Exchange(pupil);
    users.Exchange("tutor");
  }
  for (const std::u16string& n : pupils) {
    users.Reply("tutor", "p" + std::string(n.begin(), n.end()), u"R" + n, u"M" + n);
  }
  users.Exchange("tutor");
  for (const std::u16string& n : pupils) {
    const std::string k(n.begin(), n.end()), pupil = "p" + k;
    users.Exchange(pupil);
    users.Write(pupil, "tutor", u"X" + n, u"R" + n);
    users.Exchange(pupil);
    users.Exchange("tutor");
    EXPECT_EQ(users.Tree(pupil), "M" + k + "0 R" + k + "1 X" + k + "2 ");
  }
  EXPECT_EQ(users.Tree("tutor"), "M10 R11 X12 M20 R21 X22 M30 R31 X32 ");
}

}  // namespace
