// The send run over the SMTP, MAPI and Notes routes. (Routes read, directory
// routes, the queue and its routes: tests/data/mailbox-scripts.)
#include "mailbox/OutboundSending.h"

#include <gtest/gtest.h>

#include "MailboxFixture.h"
#include "ScriptedSmtp.h"
#include "StandInLibrary.h"
#include "mail/MapiMailer.h"
#include "mail/NotesLibrary.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

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
