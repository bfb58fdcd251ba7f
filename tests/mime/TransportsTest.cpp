// The MAPI and Notes transports against stand-in libraries that record every call: the call
// sequences, every failure code, and the fall-backs when no library is present.
#include <gtest/gtest.h>

#include <sstream>

#include "StandInLibrary.h"
#include "TempDirectory.h"
#include "message/MailMessage.h"
#include "mail/MapiMailer.h"
#include "mail/NotesMailer.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// A message with a recipient, a copy address, a 10-character body, an attachment given by path
// and one with a source and a shown name.
struct Fixture {
  TempDirectory dir;
  MailMessage message{nullptr, nullptr, nullptr};
  Fixture() {
    WriteFile(dir / "plain.txt", "p");
    WriteFile(dir / "source.bin", "s");
    message.SetRecipient("tutor@school.test");
    message.SetCc("head@school.test");
    message.SetSubject("Lesson");
    message.SetBody("0123456789");
    message.AddAttachment((dir / "plain.txt").c_str(), nullptr, false);
    message.AddAttachment("shown.bin", (dir / "source.bin").c_str(), false);
  }
};

class MapiTransport : public ::testing::Test {
 protected:
  void Use(const std::string& variant) {
    MapiLibraryName() = QUORVEL_STANDIN_DIR "/" + variant + "/" +
                        platform::SharedLibraryFileName("MAPI32.DLL");
  }
  void TearDown() override { MapiLibraryName() = platform::SharedLibraryFileName("MAPI32.DLL"); }
};

// The provider's result alone decides whether the message went; without a valid provider every
// send is error 10.
TEST_F(MapiTransport, OneSendMailCallCarriesTheWholeMessage) {
  StandInLibrary mapi("mapi32-complete", platform::SharedLibraryFileName("MAPI32.DLL"));
  ASSERT_TRUE(mapi.loaded());
  Use("mapi32-complete");
  for (const auto& [result, sent] :
       {std::pair{0, true}, {1, true}, {3, true}, {2, false}, {26, false}}) {
    mapi.Reset();
    mapi.Script("MAPISendMail", 0, result);
    Fixture f;
    EXPECT_EQ(f.message.SendByMapi(), sent) << "result " << result;
    EXPECT_EQ(f.message.errorCode, sent ? 0u : 9u) << "result " << result;
    EXPECT_EQ(mapi.Log(),
              "MAPISendMail(0, 0, 1, 0; subject \"Lesson\", note \"0123456789  \", originator empty"
              "; recipient 1 \"tutor@school.test\" null"
              "; file 10 \"" + (f.dir / "plain.txt") + "\" null"
              "; file 11 \"" + (f.dir / "source.bin") + "\" \"shown.bin\")\n");
  }
  for (const auto& [variant, state] : {std::pair{"missing", MapiMailer::kLibraryNotLoaded},
                                       {"mapi32-incomplete", MapiMailer::kEntryPointMissing}}) {
    Use(variant);
    MapiMailer mailer;
    EXPECT_EQ(mailer.TakeState(), state) << variant;
    EXPECT_EQ(mailer.TakeState(), MapiMailer::kReady) << "taking resets it";
    EXPECT_FALSE(mailer.Send(0));
    Fixture f;
    EXPECT_FALSE(f.message.SendByMapi());
    EXPECT_EQ(f.message.errorCode, 10u) << variant;
  }
}

// The registry names the Notes program in the stand-in's directory.
class NotesTransport : public ::testing::Test {
 protected:
  void SetUp() override { UnloadNotes(); }
  void TearDown() override {
    UnloadNotes();
    platform::ClearRegistry();
  }
  static void RegisterNotesIn(const std::string& directory) {
    platform::SetRegistryString(platform::RegistryRoot::ClassesRoot, "Notes.Link\\CLSID", "",
                                "{4E3B0F20}");
    platform::SetRegistryString(platform::RegistryRoot::ClassesRoot,
                                "CLSID\\{4E3B0F20}\\LocalServer32", "", directory + "notes");
  }
};

// Without a complete library loading fails; a failed initialisation forgets the library. A
// mailer needs the library, a send-to entry and its thread's start.
TEST_F(NotesTransport, LoadingNeedsACompleteLibraryThatInitialisesAndMailerStates) {
  {
    NotesMailer mailer(true);
    EXPECT_EQ(NotesErrorCode(), ErrNotesNotInitialized) << "thread use before the library";
    EXPECT_FALSE(mailer.Send());
    EXPECT_EQ(NotesErrorCode(), ErrNotesNotInitialized);
  }
  EXPECT_FALSE(LoadNotes()) << "no Notes program in the registry";
  EXPECT_EQ(NotesErrorCode(), ErrCantLoadDll);
  Fixture f;
  EXPECT_FALSE(f.message.SendByNotes());
  EXPECT_EQ(f.message.errorCode, 11u);
  for (const char* variant : {"missing/", "notes-incomplete/"}) {
    RegisterNotesIn(QUORVEL_STANDIN_DIR "/" + std::string(variant));
    EXPECT_FALSE(LoadNotes()) << variant;
    EXPECT_EQ(NotesErrorCode(), ErrCantLoadDll) << variant;
  }
  StandInLibrary notes("notes-complete", platform::SharedLibraryFileName("nnotes.dll"));
  RegisterNotesIn(notes.directory());
  notes.Script("NotesInit", 1, 0x103);
  EXPECT_FALSE(LoadNotes());
  EXPECT_EQ(NotesErrorCode(), ErrCantInitNotes);
  EXPECT_FALSE(NotesLoaded());
  EXPECT_TRUE(LoadNotes());
  EXPECT_EQ(notes.Log(), "NotesInit()\nNotesInit()\n");
  notes.Reset();
  {
    NotesMailer mailer(true);
    EXPECT_FALSE(mailer.AddAttachment("", "name"));
    EXPECT_FALSE(mailer.Send()) << "no send-to entry";
    EXPECT_EQ(NotesErrorCode(), ErrNoRecipien);
  }
  EXPECT_NE(notes.Log().find("NotesInitThread()\n"), std::string::npos);
  EXPECT_TRUE(notes.Log().ends_with("MailCloseMessageFile(11)\nNotesTermThread()\n"));
  notes.Reset();
  notes.Script("NotesInitThread", 1, 1);
  { NotesMailer mailer(true); EXPECT_EQ(NotesErrorCode(), ErrCantInitThread); }
  EXPECT_EQ(notes.Log(), "NotesInitThread()\n") << "no thread end without its start";
  Fixture empty;
  empty.message.SetRecipient("");
  EXPECT_TRUE(empty.message.SendByNotes()) << "an empty recipient is still one entry";
}

TEST_F(NotesTransport, TheCallsOfAMemoAndEachFailingStepWithItsCodeAndCleanUp) {
  StandInLibrary notes("notes-complete", platform::SharedLibraryFileName("nnotes.dll"));
  RegisterNotesIn(notes.directory());
  Fixture f;
  f.message.notesSender.clear();  // sent From the current Notes user
  ASSERT_TRUE(f.message.SendByNotes()) << NotesErrorCode();
  // The expected calls, with the attachments' paths as {plain} and {source}.
  std::string expected = ReadFile(QUORVEL_TEST_DATA "/transports/notes-memo.log");
  expected.replace(expected.find("{plain}"), 7, f.dir / "plain.txt");
  expected.replace(expected.find("{source}"), 8, f.dir / "source.bin");
  EXPECT_EQ(notes.Log(), expected);

  notes.Reset();
  Fixture second;
  second.message.notesSender = "pupil@school.test";
  ASSERT_TRUE(second.message.SendByNotes());
  EXPECT_EQ(notes.Log().find("NotesInit"), std::string::npos) << "loaded once per process";
  EXPECT_NE(notes.Log().find("MailAddHeaderItem(22, 2, \"pupil@school.test\", 17)"),
            std::string::npos);
  EXPECT_EQ(notes.Log().find("head@school.test"), std::string::npos) << "no copy through Notes";
  // Each line: the call made to fail, which of its calls, the error, the log's last call.
  std::istringstream lines(ReadFile(QUORVEL_TEST_DATA "/transports/notes-failures.txt"));
  int count = 0;
  for (std::string call, lastCleanUp; lines >> call;) {
    int n = 0, error = 0;
    lines >> n >> error >> lastCleanUp;
    SCOPED_TRACE(call + " " + std::to_string(n));
    ++count;
    notes.Reset();
    notes.Script(call, n, 1);
    Fixture f;
    f.message.notesSender.clear();
    EXPECT_FALSE(f.message.SendByNotes());
    EXPECT_EQ(f.message.errorCode, 11u);
    EXPECT_EQ(NotesErrorCode(), error);
    const std::string log = notes.Log();
    const size_t lastLine = log.rfind('\n', log.size() - 2) + 1;
    EXPECT_EQ(log.substr(lastLine, log.find('(', lastLine) - lastLine), lastCleanUp);
    const bool listsMade = error > ErrCantAllocateRecipientList;
    EXPECT_EQ(log.find("OSMemFree(31)") != std::string::npos, listsMade);
  }
  EXPECT_EQ(count, 29);
  notes.Reset();
  notes.Script("NSFNoteUpdate", 2, 1);
  Fixture updated;
  EXPECT_TRUE(updated.message.SendByNotes())
      << "the second update fails the send only by its status, which the clean-up's replace";
}

}  // namespace
}  // namespace quorvel
