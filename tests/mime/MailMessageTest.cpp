// The composed message byte for byte (expected files written from the layout's
// description), read back by Python's email package, its header lines safe from
// the texts they carry, every file failure, and its delivery to a scripted server.
#include "mail/DefaultSmtpSettings.h"
#include "message/MailMessage.h"

#include <gtest/gtest.h>

#include <regex>

#include "../exchange/ItemTest.h"
#include "ExternalTools.h"
#include "FaultSweep.h"
#include "RandomBytes.h"
#include "ScriptedServer.h"
#include "ScriptedSmtp.h"
#include "KeyedCases.h"
#include "WaitUntil.h"
#include "message/MimeLayout.h"
#include "platform/Faults.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Checks the Date and Message-ID lines by pattern and writes "*" for their values (the
// Message-ID's domain kept).
std::string Starred(const std::string& message) {
  static const std::regex lines(
      "\r\nDate: (?:Sun|Mon|Tue|Wed|Thu|Fri|Sat), (?:[1-9]|[12][0-9]|3[01]) "
      "(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 2[0-9]{3} "
      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][01][0-9][0-5][0-9]\r\n"
      "Message-ID: <[0-9a-f]+\\.[0-9a-f]+\\.[0-9a-f]{16}@([a-z.]+)>\r\n");
  namespace flags = std::regex_constants;
  const size_t at = std::min(message.find("\r\nDate: "), message.size());
  return message.substr(0, at) +
         std::regex_replace(message.substr(at, 200), lines, "\r\nDate: *\r\nMessage-ID: <*@$1>\r\n",
                            flags::format_first_only | flags::match_continuous) +
         message.substr(std::min(at + 200, message.size()));
}

class MailMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReplaceDefaultSmtpSettings(DefaultSmtpSettingsState());
    SmtpConnectionsForbidden() = false;
    platform::ClearRegistry();
    SetDefaultSmtpSettings("127.0.0.1", "ada@example.test", 25, "ada.lovelace@example.test");
  }
  void TearDown() override { ReplaceDefaultSmtpSettings(DefaultSmtpSettingsState()); }

  MailMessage NewMessage() {
    MailMessage message(&stop, &suspend, &percent);
    message.SetRecipient("tutor@example.test");
    return message;
  }
  std::string Compose(MailMessage& message) {
    const std::string path = message.ComposeToFile(directory.path().c_str());
    EXPECT_NE(path, "");
    return ReadFile(path);
  }

  TempDirectory directory;
  std::atomic<uint8_t> stop{0};
  std::atomic<uint8_t> suspend{0};
  std::atomic<int32_t> percent{0};
};

// Each case of tests/data/composed/cases.txt composes as its NAME.eml. Texts that reach a
// header line keep no CR, LF or NUL there, so that no caller can add a header of its own.
TEST_F(MailMessageTest, ComposedMessagesAreExact) {
  for (const KeyedCase& c : KeyedCases("composed/cases")) {
    MailMessage message = NewMessage();
    std::string field, value;  // of the last "<" line; a "+" line gives its name or content
    for (const auto& [key, text] : c.lines) {
      const size_t colon = text.find(": ");
      if (key == "<") field = text.substr(0, colon);
      if (key == "<") value = text.substr(colon + 2);
      const std::string file = directory / (field == "Shown" ? "source" : value);
      if (key == "+" && field == "Sender") {
        message.SetSender(nullptr, 25, value.c_str(), text.c_str());
      }
      if (key == "+" && field != "Sender") {  // "Shown", "File" or "Alternative"
        WriteFile(file, text);
        ASSERT_TRUE(field == "Shown" ? message.AddAttachment(value.c_str(), file.c_str(), false)
                                     : message.AddAttachment(file.c_str(), nullptr,
                                                             field == "Alternative"));
      }
      if (key != "<") continue;
      if (field == "Subject") message.SetSubject(value);
      if (field == "Body") message.SetBody(value);
      if (field == "To") message.SetRecipient(value);
      if (field == "Cc") message.SetCc(value.c_str());
      if (field == "CodePage") message.CharsetForCodePage(std::stoi(value));
    }
    const std::string name = c.name.substr(c.name.find(": ") + 2);
    EXPECT_EQ(Starred(Compose(message)), ReadFile(QUORVEL_TEST_DATA "/composed/" + name + ".eml"))
        << name;
  }
}

// Each language of tests/data/composed/languages.txt, its texts and attachment kept in files of
// the keys' names, is read back by Python's email package to those texts and bytes (no
// attachment when filename.txt is empty), with no line past 78 characters.
TEST_F(MailMessageTest, PythonReadsEveryLanguageBackWithAndWithoutAttachment) {
  const std::string program = R"(
import email, sys
from email import policy
path, d = sys.argv[1], sys.argv[2]
text = lambda name: open(d + name, encoding="utf-8", newline="").read()
lines = lambda body: body.replace("\r\n", "\n").rstrip("\n")  # the layout ends with an empty line
raw = open(path, "rb").read()
m = email.message_from_bytes(raw, policy=policy.default)
attachments = list(m.iter_attachments())
checks = [("subject", m["Subject"], text("subject.txt")),
          ("display name", m["From"].addresses[0].display_name, text("name.txt")),
          ("body", lines(m.get_body(("plain",)).get_content()), lines(text("body.txt"))),
          ("attachments", len(attachments), 1 if text("filename.txt") else 0)]
for part in attachments:
    checks += [("filename", part.get_filename(), text("filename.txt")),
               ("name", part["Content-Type"].params.get("name"), text("filename.txt")),
               ("bytes", part.get_payload(decode=True), open(d + "attachment.bin", "rb").read())]
problems = ["%s: %r, expected %r" % check for check in checks if check[1] != check[2]]
problems += ["line of %d characters: %r" % (len(line), line[:90])
             for line in raw.split(b"\r\n") if len(line) > 78]
sys.exit("\n".join(problems) or None)
)";
  for (const KeyedCase& c : KeyedCases("composed/languages")) {
    for (const bool withAttachment : {true, false}) {
      TempDirectory texts;
      for (const auto& [file, content] : c.lines) WriteFile(texts / file, content);
      if (!withAttachment) WriteFile(texts / "filename.txt", "");
      MailMessage message = NewMessage();
      message.SetSender(nullptr, 25, "pupil@example.test", c.Get("name.txt").c_str());
      message.CharsetForCodePage(65001);
      message.SetSubject(c.Get("subject.txt"));
      message.SetBody(c.Get("body.txt"));
      const std::string source = texts / "attachment.bin";
      ASSERT_TRUE(!withAttachment ||
                  message.AddAttachment(c.Get("filename.txt").c_str(), source.c_str(), false));
      const std::string path = message.ComposeToFile(texts.path().c_str());
      EXPECT_TRUE(RunPython(texts, program, path + " " + texts.path()))
          << c.name << (withAttachment ? " with" : " without") << " attachment\n"
          << ReadFile(path);
    }
  }
}

// Attachments of many encoding pieces are written exactly (as Python's base64 writes them); one
// that fails to read midway leaves nothing of its part; an empty file is an empty part.
TEST_F(MailMessageTest, LargeAndEmptyAttachmentsAreWrittenPieceByPieceExactly) {
  const std::string failing = RandomBytes(150000, 5), big = RandomBytes(200001, 6);
  WriteFile(directory / "failing.bin", failing);
  WriteFile(directory / "big.bin", big);
  WriteFile(directory / "empty.bin", "");
  const std::string program =
      "import base64, sys\n"
      "text = base64.b64encode(open(sys.argv[1] + 'big.bin', 'rb').read())\n"
      "open(sys.argv[1] + 'big.b64', 'wb').write(b''.join(text[i:i + 72] + b'\\r\\n'\n"
      "                                                 for i in range(0, len(text), 72)))\n";
  ASSERT_TRUE(RunPython(directory, program, directory.path()));
  MailMessage message = NewMessage();
  message.SetBody("x");
  for (const char* name : {"failing.bin", "big.bin", "empty.bin"}) {
    ASSERT_TRUE(message.AddAttachment((directory / name).c_str(), nullptr, false));
  }
  platform::FileFaults faults;
  faults.Fail(platform::FileOperation::Read, 2);  // the failing file's second piece
  const std::string composed = Compose(message);
  EXPECT_TRUE(faults.Fired());
  const auto part = [](const std::string& name) {
    return "---Quorvel_Mime_Delimiter\r\nContent-Type: application/octet-stream;\r\n\tname=\"" +
           name + "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;"
           "\r\n\tfilename=\"" + name + "\"\r\n\r\n";
  };
  EXPECT_TRUE(composed.ends_with("x\r\n\r\n" + part("big.bin") + ReadFile(directory / "big.b64") +
                                 "\r\n" + part("empty.bin") + "\r\n---Quorvel_Mime_Delimiter--"
                                 "\r\n"));
}

TEST_F(MailMessageTest, FilesAttachmentsFailureCodesAndTheSender) {
  MailMessage message = NewMessage();
  EXPECT_EQ(message.ComposeToFile(directory.path().c_str()), directory / "~AT0.eml");
  EXPECT_EQ(message.ComposeToFile(directory.path().c_str()), directory / "~AT1.eml");
  EXPECT_EQ(message.ComposeToFile((directory / "missing/").c_str()), "");
  EXPECT_EQ(message.errorCode, 8u);
  stop = 1;
  EXPECT_EQ(message.ComposeToFile(directory.path().c_str()), "");
  EXPECT_EQ(message.errorCode, 13u);
  EXPECT_EQ(stop.load(), 0);

  WriteFile(directory / "there.txt", "x");
  EXPECT_FALSE(message.AddAttachment("", nullptr, false));
  EXPECT_EQ(message.errorCode, 1u);
  EXPECT_FALSE(message.AddAttachment(nullptr, nullptr, false) ||
               message.AddAttachment((directory / "missing.txt").c_str(), nullptr, false) ||
               message.AddAttachment(directory.path().c_str(), nullptr, false) ||
               message.AddAttachment("shown.txt", (directory / "missing.txt").c_str(), false));
  EXPECT_TRUE(message.attachmentNames.empty());
  ASSERT_TRUE(message.AddAttachment((directory / "sub/shown.txt").c_str(),
                                    (directory / "there.txt").c_str(), false));
  EXPECT_EQ(message.errorCode, 0u);
  EXPECT_EQ(message.attachmentNames, std::vector<std::string>{"shown.txt"});
  EXPECT_EQ(message.attachmentSources, std::vector<std::string>{directory / "there.txt"});
  stop = 1;
  EXPECT_FALSE(message.AddAttachment((directory / "there.txt").c_str(), nullptr, false));
  EXPECT_EQ(message.errorCode, 13u);

  // The sender is completed from the defaults or the built-in values.
  EXPECT_EQ(message.notesSender, "ada@example.test");
  message.SetSender("smtp.own.test", 0, "", nullptr);
  EXPECT_FALSE(message.usesDefaultSender);
  const SmtpSettings& sender = message.Sender();
  EXPECT_EQ(std::tie(sender.host, sender.port, sender.address, sender.name),
            std::make_tuple("smtp.own.test", 25, "ada@example.test", "ada.lovelace@example.test"));
  message.SetSender(nullptr, 0, nullptr, "ignored");
  EXPECT_TRUE(message.usesDefaultSender);

  EXPECT_FALSE(SetDefaultSmtpSettings(nullptr, nullptr, 0, nullptr));
  const auto& defaults = DefaultSmtpSettings();
  EXPECT_FALSE(defaults.valid || defaults.settings.host.empty());
  EXPECT_EQ(std::tie(defaults.settings.name, defaults.settings.port),
            std::make_tuple("Unknown Pupil", 25));
  MailMessage unsent = NewMessage();
  EXPECT_FALSE(unsent.SendBySmtp(false, directory.path().c_str(), false));
  EXPECT_EQ(unsent.errorCode, 4u);
  EXPECT_TRUE(std::filesystem::exists(directory / "~AT2.eml")) << "the composed file stays";
}

// Each section (header, text, attachment) outgrows the 64 KiB write block; a file failure in
// any leaves no message file. An attachment that cannot be read is left out.
TEST_F(MailMessageTest, EveryFileFailureIsLoggedAtItsSectionAndLeavesNoFile) {
  WriteFile(directory / "attachment.bin", std::string(100000, 'a'));
  std::string composed, body;
  for (int i = 0; i < 1000; ++i) body += std::string(70, 'b') + "\r\n";
  const auto compose = [&](const std::string&) {
    MailMessage message = NewMessage();
    message.SetSubject(std::string(70000, 's'));
    message.SetBody(body);
    message.AddAttachment((directory / "attachment.bin").c_str(), nullptr, false);
    composed = message.ComposeToFile(directory.path().c_str());
  };
  size_t wholeSize = 0;
  const auto check = [&](const std::string& failing) {
    if (failing == "nothing") wholeSize = ReadFile(composed).size();
    if (!composed.empty()) {
      const std::string text = ReadFile(composed);
      if (text.find("Content-Transfer-Encoding: base64") != std::string::npos) {
        EXPECT_EQ(text.size(), wholeSize) << failing;
      } else {
        EXPECT_TRUE(text.ends_with(body + "\r\n")) << failing << ": left out whole";
      }
    }
    platform::RemoveFile(composed);
    for (const auto& entry : platform::ListDirectory(directory.path(), "*.eml")) {
      ADD_FAILURE() << failing << ": " << entry.name << " left behind";
      platform::RemoveFile(directory / entry.name);
    }
  };
  EXPECT_EQ(SweepFileFaults(compose, check), (std::set<uint32_t>{516, 517, 518, 519, 520}));
}

// A stop between the parts keeps the header block written so far in the given directory. The
// send suspends itself as it begins; the stop is asked for before it is resumed.
TEST_F(MailMessageTest, AStopBetweenThePartsKeepsTheHeaderBlockInTheGivenDirectory) {
  TempDirectory mime;
  MailMessage message = NewMessage();
  message.SetBody("the text part");
  suspend = 1;
  const auto sender = platform::Thread::Create(
      [&] { return message.SendBySmtp(false, mime.path().c_str(), false) ? 1u : 0u; }, false);
  ASSERT_TRUE(sender);
  EXPECT_TRUE(WaitUntil([&] { return suspend.load() == 0; }));  // cleared as it suspends
  stop = 1;
  ASSERT_TRUE(sender->Resume());
  ASSERT_TRUE(sender->Wait(10000));
  EXPECT_EQ(sender->ExitCode(), 0u);
  EXPECT_EQ(message.errorCode, 13u);
  const std::string kept = ReadFile(mime / "~AT0.eml");
  EXPECT_TRUE(kept.starts_with("From: ")) << kept;
  EXPECT_TRUE(kept.ends_with(std::string("X-Mailer: ") + kMailerName + "\r\n\r\n")) << kept;
}

// A failed send keeps a file composed in a given directory (whole also past the memory limit) and
// deletes one composed in the temporary directory; a stop as the send begins composes nothing.
// Small messages go out from memory, large ones from a file that does not outlive the send; the
// server gets the very bytes ComposeToFile writes.
TEST_F(MailMessageTest, FailuresKeepOnlyFilesComposedInAGivenDirectorySendsWhatItWrites) {
  TempDirectory mime;
  MailMessage message = NewMessage();
  message.SetSender("127.0.0.1", ClosedLoopbackPort(), nullptr, nullptr);
  EXPECT_FALSE(message.SendBySmtp(false, (directory / "missing/").c_str(), false));
  EXPECT_EQ(message.errorCode, 8u) << "a directory to keep the message in must exist";
  stop = 1;
  EXPECT_FALSE(message.SendBySmtp(false, mime.path().c_str(), false));
  EXPECT_EQ(message.errorCode, 13u);
  EXPECT_EQ(stop.load(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(mime.path()));
  WriteFile(directory / "large.bin", std::string(kComposedInMemory, 'x'));
  ASSERT_TRUE(message.AddAttachment((directory / "large.bin").c_str(), nullptr, false));
  EXPECT_FALSE(message.SendBySmtp(false, mime.path().c_str(), false));
  EXPECT_EQ(message.errorCode, 5u);
  EXPECT_EQ(message.serverReply, "") << "no server answered";
  EXPECT_EQ(Starred(ReadFile(mime / "~AT0.eml")), Starred(Compose(message)));

  SmtpConnectionsForbidden() = true;
  message.errorCode = 77;
  EXPECT_FALSE(message.SendBySmtp(false, directory.path().c_str(), false));
  EXPECT_EQ(message.errorCode, 77u) << "forbidden leaves the code unchanged";
  EXPECT_TRUE(std::filesystem::exists(directory / "~AT1.eml"));
  // In the temporary directory: deleted after a forbidden connection and after a refusal.
  const TemporaryDirectoryOverride temporary;
  EXPECT_FALSE(message.SendBySmtp(false, nullptr, false));
  SmtpConnectionsForbidden() = false;
  ScriptedServer server([](ServerSide& side) {
    RefuseTheRecipient(
        side, "550-5.1.1 <nobody@example.test>: Recipient address rejected\r\n550 see you\r\n",
        "500 not even QUIT\r\n");
  });
  message.SetSender("127.0.0.1", server.port(), nullptr, nullptr);
  EXPECT_FALSE(message.SendBySmtp(false, nullptr, false));
  EXPECT_EQ(message.errorCode, 7u);
  EXPECT_EQ(message.serverReply, "550-5.1.1 <nobody@example.test>: Recipient address rejected");
  EXPECT_EQ(temporary.Files(), Names{});
  for (const bool withLargeAttachment : {false, true}) {
    ScriptedServer accepting(ServeSmtpSession);
    SetDefaultSmtpSettings("127.0.0.1", "ada@example.test", accepting.port(), "Ada");
    MailMessage sending = NewMessage();
    sending.SetBody("Line one\r\nLine two");
    const std::string large = directory / "large.bin";
    if (withLargeAttachment) sending.AddAttachment(large.c_str(), nullptr, false);
    ASSERT_TRUE(sending.SendBySmtp(false, nullptr, false));
    const std::string& transcript = accepting.transcript();
    const size_t start = transcript.find("DATA\r\n") + 6;
    const std::string sent = transcript.substr(start, transcript.find("\r\n.\r\n") - start);
    EXPECT_EQ(Starred(sent), Starred(Compose(sending)));
    EXPECT_EQ(sent.size() > kComposedInMemory, withLargeAttachment);
    EXPECT_EQ(temporary.Files(), Names{});
  }
}

}  // namespace
}  // namespace quorvel
