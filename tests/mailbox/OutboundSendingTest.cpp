// Outbound sending: routes read, and the send run over the SMTP, MAPI and
// Notes routes. (Directory routes, the queue and its routes: tests/data/mailbox-scripts.)
#include "mailbox/OutboundSending.h"

#include <gtest/gtest.h>

#include <fstream>

#include "MailboxFixture.h"
#include "ScriptedSmtp.h"
#include "StandInLibrary.h"
#include "mailbox/OutboundRoute.h"
#include "mail/MapiMailer.h"
#include "mail/NotesLibrary.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// The cases of tests/data/routes/routes.txt: columns apart by tabs, \t and
// \xHH unescaped.
TEST(OutboundRoute, ReadsEveryFieldAsTheCasesSay) {
  std::ifstream in(std::string(QUORVEL_TEST_DATA) + "/routes/routes.txt");
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> column(1);
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        column.emplace_back();
      } else if (line.compare(i, 2, "\\t") == 0) {
        column.back() += '\t', ++i;
      } else if (line.compare(i, 2, "\\x") == 0) {
        column.back() += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16)), i += 3;
      } else {
        column.back() += line[i];
      }
    }
    ASSERT_EQ(column.size(), 5u) << line;
    const OutboundRoute route(column[0]);
    EXPECT_EQ(static_cast<uint32_t>(route.Kind()), std::stoul(column[1])) << line;
    EXPECT_EQ(route.Field(1), column[2]) << line;
    EXPECT_EQ(route.NumberField(3), std::stol(column[3])) << line;
    EXPECT_EQ(route.SenderName(), column[4]) << line;
    EXPECT_EQ(route.Field(9), "") << line;
    ++cases;
  }
  EXPECT_GE(cases, 30);
}

// Items filed with the routes a test gives.
class OutboundSending : public OpenMailboxTest {
 protected:
  uint32_t File(const std::vector<std::string>& routes) {
    return mailbox.FileNewMail(NewItem(), routes, CodedTextArray());
  }
  IndexEntry* Entry(uint32_t id) { return mailbox.EntryOf(id); }
  bool Queued(uint32_t id) const {
    const auto& queue = mailbox.Index().outboxQueue;
    return std::find(queue.begin(), queue.end(), id) != queue.end();
  }
  static std::vector<IndexEntry*> List(const IndexEntryArray* list) {
    return {list->begin(), list->end()};
  }
};

// A refused delivery is listed; an item whose file is gone records nothing.
TEST_F(OutboundSending, SmtpRouteSendsTheItemFromTheRoutesSender) {
  ScriptedServer server(ServeSmtpSession);
  ScriptedServer refusing([](ServerSide& side) { side.Send("554 go away\r\n"); });
  const uint32_t id = File({"1|tutor@school.test|127.0.0.1|" + std::to_string(server.port()) +
                            "|anna@home.test|1252|Ren\xC3\xA9 D."});
  const uint32_t refused =
      File({"1|t@x|127.0.0.1|" + std::to_string(refusing.port()) + "|f@x|1252|"});
  const uint32_t missing = File({"1|t@x|127.0.0.1|1|f@x|1252|"});
  platform::RemoveFile(mailbox.PathOf(*Entry(missing)));
  ASSERT_TRUE(SendQueuedItems(&context));
  EXPECT_EQ(List(SentItemsOf(&context)), std::vector<IndexEntry*>{Entry(id)});
  EXPECT_EQ(List(NotSentItemsOf(&context)), std::vector<IndexEntry*>{Entry(refused)});
  EXPECT_TRUE(Queued(refused) && Queued(missing) && !Queued(id));
  const std::string& dialogue = server.transcript();
  for (const std::string& line :
       Names{"MAIL FROM: <anna@home.test>\r\n", "RCPT TO: <tutor@school.test>\r\n",
             "From: =?iso-8859-1?B?UmVu6SBELg==?= <anna@home.test>\r\n",
             "Subject: <no object>\r\n", "\tfilename=\"" + Entry(id)->fileName + "\"\r\n"}) {
    EXPECT_NE(dialogue.find(line), std::string::npos) << line << dialogue;
  }
}

TEST_F(OutboundSending, MapiRouteWithAndWithoutProvider) {
  StandInLibrary mapi("mapi32-complete", platform::SharedLibraryFileName("MAPI32.DLL"));
  const uint32_t id = File({"5|tutor@school.test"});
  MapiLibraryName() = mapi.directory() + "missing.so";
  ASSERT_TRUE(SendQueuedItems(&context));
  EXPECT_TRUE(List(NotSentItemsOf(&context)).empty() && List(SentItemsOf(&context)).empty());
  MapiLibraryName() = mapi.directory() + platform::SharedLibraryFileName("MAPI32.DLL");
  ASSERT_TRUE(SendQueuedItems(&context));
  MapiLibraryName() = platform::SharedLibraryFileName("MAPI32.DLL");
  EXPECT_EQ(List(SentItemsOf(&context)), std::vector<IndexEntry*>{Entry(id)});
  EXPECT_NE(mapi.Log().find("recipient 1 \"tutor@school.test\" null; file 0 \"" +
                            mailbox.PathOf(*Entry(id)) + "\" null)"),
            std::string::npos)
      << mapi.Log();
}

TEST_F(OutboundSending, NotesRouteWithAndWithoutTheClient) {
  const uint32_t id = File({"4|tutor@school.test|anna@home.test"});
  ASSERT_TRUE(SendQueuedItems(&context));
  EXPECT_EQ(List(NotSentItemsOf(&context)), std::vector<IndexEntry*>{Entry(id)}) << "no Notes";
  StandInLibrary notes("notes-complete", platform::SharedLibraryFileName("nnotes.dll"));
  platform::SetRegistryString(platform::RegistryRoot::ClassesRoot, "Notes.Link\\CLSID", "", "{N}");
  platform::SetRegistryString(platform::RegistryRoot::ClassesRoot, "CLSID\\{N}\\LocalServer32", "",
                              notes.directory() + "notes");
  ASSERT_TRUE(SendQueuedItems(&context));
  UnloadNotes();
  platform::ClearRegistry();
  EXPECT_EQ(List(SentItemsOf(&context)), std::vector<IndexEntry*>{Entry(id)});
  EXPECT_NE(notes.Log().find("tutor@school.test"), std::string::npos) << notes.Log();
  EXPECT_NE(notes.Log().find(mailbox.PathOf(*Entry(id))), std::string::npos);
}

}  // namespace
}  // namespace quorvel
