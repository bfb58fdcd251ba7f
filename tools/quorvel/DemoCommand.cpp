// quorvel demo: a pupil and a tutor, each with a mailbox of their own in a
// fresh directory and a host thread with a library context of its own,
// exchange a pupil mail with an attachment and learning data, the tutor's
// reply with an attachment, and the pupil's answer to that reply; a second
// pupil mail crosses the reply on its way, and the tutor answers it too:
// over shared directories, or with --servers over the test Postfix and
// Dovecot.
// Every step is checked; the exit status is 0 only when everything arrived
// where it belongs. This is the example host program: it reaches the library
// through its exported functions only.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Commands.h"
#include "DemoServers.h"
#include "ExchangeRun.h"
#include "ExitCodes.h"
#include "HostThread.h"
#include "MailboxView.h"
#include "platform/Threads.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes of every value, so that any change on the way shows.
std::string Scrambled(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// A file the demo sends and expects to come out unchanged on the other side.
struct DemoFile {
  enum List { kAttachment, kTracking, kDiagnostic, kOptionsIni } list;
  std::string name;
  std::string path;  // the original
};

// One user of the demo: a mailbox BASE/USER/mailbox/ on a host thread.
struct Participant {
  Participant(MutexHandle hostMutex, std::string roleName, std::string userName,
              std::string displayName, std::string baseDirectory)
      : role(std::move(roleName)),
        user(std::move(userName)),
        name(std::move(displayName)),
        base(std::move(baseDirectory)),
        host(hostMutex) {}
  std::string role;  // "pupil", "tutor"
  std::string user;
  std::string name;
  std::string base;  // the mailbox is BASE/USER/mailbox/
  HostThread host;
};

class Demo {
 public:
  Demo(const std::string& directory, DemoServers* servers, bool background, bool oauth)
      : work_(directory), servers_(servers), background_(background), oauth_(oauth) {}

  bool Run();

 private:
  // How items travel: a shared directory per receiver, or SMTP and POP.
  std::string RouteTo(const Participant& from, const Participant& to) const;
  void RegisterInbound(const Participant& who) const;
  // With --oauth: STARTTLS and STLS, and the user's OAuth 2 token from the
  // identity provider's stand-in instead of a password.
  void UseOAuth(const Participant& who) const;
  const std::string& ServerHost() const;

  bool Check(bool condition, const std::string& what);
  bool Prepare();
  // Runs `write` on the writer's thread with the route to the other user
  // and the writer's name; the new item must then wait at `index`, at
  // `depth`, to be sent.
  bool File(Participant& writer, uint32_t index, uint8_t depth, const std::string& what,
            const std::function<bool(const std::string& route, const CodedText& name)>& write);
  bool WritePupilMail();
  bool Exchange(Participant& who, bool receive, bool send, size_t expectReceived,
                size_t expectSent);
  bool TutorReadsAndReplies();
  bool PupilReadsAndAnswers();
  bool TutorReadsTheAnswer();
  bool PupilWritesWhileTheReplyTravels();
  bool TutorRepliesToTheSecondMail();
  // The item at `index` as its reader sees it: kind, depth, unread, text and
  // its files byte for byte against the originals.
  bool CheckArrival(Participant& reader, uint32_t index, uint32_t kind, uint8_t depth,
                    const std::u16string& text, const std::vector<DemoFile>& files);
  void PrintMailboxes();

  std::string work_;
  DemoServers* servers_;
  bool background_;
  bool oauth_;
  std::unique_ptr<Participant> pupil_, tutor_;
  std::vector<DemoFile> pupilFiles_, tutorFiles_;
  bool failed_ = false;
};

const std::u16string kPupilText = u"Bonjour ! Voici ma rédaction sur les vacances d'été.";
const std::u16string kReplyText = u"Très bien, Léa ! Mes corrections sont dans le fichier joint.";
const std::u16string kAnswerText = u"Merci ! J'ai compris mes erreurs.";
const std::u16string kSecondText = u"J'ai oublié : voici aussi ma question sur le subjonctif.";
const std::u16string kSecondReplyText = u"Bonne question ! Le subjonctif suit « il faut que ».";

// The host's mutex, never destroyed: a worker still takes it to leave its
// context after the completion callback, also while the process exits.
platform::HostMutex& hostMutex = *new platform::HostMutex;

bool Demo::Check(bool condition, const std::string& what) {
  if (!condition) {
    std::printf("   FAILED: %s\n", what.c_str());
    failed_ = true;
  }
  return condition;
}

const std::string& Demo::ServerHost() const {
  static const std::string loopback = "127.0.0.1";
  return oauth_ ? servers_->tlsHost() : loopback;  // the certificate's name over TLS
}

std::string Demo::RouteTo(const Participant& from, const Participant& to) const {
  if (servers_ == nullptr) return "3|" + work_ + "shared/to-" + to.user;
  return "1|" + servers_->Address(to.user) + "|" + ServerHost() + "|" +
         std::to_string(servers_->smtpPort()) + "|" + servers_->Address(from.user) + "|1252|" +
         from.name;
}

void Demo::RegisterInbound(const Participant& who) const {
  if (servers_ == nullptr) {
    TessalyAddProtocolFileIn((work_ + "shared/to-" + who.user).c_str());
  } else {
    TessalyAddProtocolPopIn(ServerHost().c_str(), servers_->popPort(), who.user.c_str(),
                            oauth_ ? "" : who.user.c_str());
  }
}

void Demo::UseOAuth(const Participant& who) const {
  const std::string token = "token-" + who.user;
  MailsSetSmtpSecurity(1, who.user.c_str(), nullptr, token.c_str());
  MailsSetPopSecurity(1, 0);
  MailsSetPopOAuthToken(token.c_str());
  MailsSetTlsTrust(servers_->tlsCa().c_str(), 1);
}

bool Demo::Prepare() {
  pupil_ = std::make_unique<Participant>(hostMutex.handle(), "pupil", "pupil", "Lea Martin",
                                         work_);
  tutor_ = std::make_unique<Participant>(hostMutex.handle(), "tutor", "tutor", "Marc Dubois",
                                         work_);
  std::error_code error;
  for (const char* directory : {"files", "shared/to-pupil", "shared/to-tutor", "pupil-received",
                                "tutor-received"}) {
    fs::create_directories(work_ + directory, error);
  }
  const auto make = [&](DemoFile::List list, const std::string& name, const std::string& bytes) {
    WriteBytes(work_ + "files/" + name, bytes);
    return DemoFile{list, name, work_ + "files/" + name};
  };
  pupilFiles_ = {
      make(DemoFile::kAttachment, "essay.txt",
           "Pendant les vacances, je suis allée à la mer.\r\n.Une ligne qui commence par un point.\r\n"),
      make(DemoFile::kTracking, "lesson-12.trk", Scrambled(3000, 1)),
      make(DemoFile::kDiagnostic, "lesson-12.dia", Scrambled(700, 2)),
      make(DemoFile::kOptionsIni, "options.ini", "[Options]\r\nLevel=4\r\nVoice=on\r\n"),
  };
  tutorFiles_ = {make(DemoFile::kAttachment, "corrections.bin", Scrambled(40000, 3))};
  bool ok = true;
  for (Participant* who : {pupil_.get(), tutor_.get()}) {
    who->host.Run([&] {
      ok = Check(TessalyOpenMailBox(who->base.c_str(), who->user.c_str()),
                 "the " + who->role + "'s mailbox does not open") && ok;
      RegisterInbound(*who);
      if (oauth_) UseOAuth(*who);
    });
  }
  return ok;
}

bool Demo::File(Participant& writer, uint32_t index, uint8_t depth, const std::string& what,
                const std::function<bool(const std::string& route, const CodedText& name)>& write) {
  bool ok = false;
  writer.host.Run([&] {
    const std::string route = RouteTo(writer, &writer == pupil_.get() ? *tutor_ : *pupil_);
    const CodedText name(1252, WideString(std::u16string(writer.name.begin(), writer.name.end())));
    if (!Check(write(route, name), what + " was not filed")) return;
    const IndexEntry* item = TessalyGetItemAtIndex(index);
    ok = Check(item != nullptr && item->depth == depth && (item->attributes & kItemNotSent) != 0,
               what + " is not at " + std::to_string(index) + ", depth " + std::to_string(depth) +
                   ", waiting to be sent");
    if (ok) {
      std::printf("   filed as %s, waiting to be sent by \"%s\"\n", DescribeItem(item).c_str(),
                  route.c_str());
    }
  });
  return ok;
}

bool Demo::WritePupilMail() {
  std::printf("1. The pupil writes a mail with an attachment (%s) and three learning-data files.\n",
              pupilFiles_[0].name.c_str());
  std::vector<std::string> attachments, tracking, diagnostic;
  std::string optionsIni;
  for (const DemoFile& file : pupilFiles_) {
    if (file.list == DemoFile::kAttachment) attachments.push_back(file.path);
    if (file.list == DemoFile::kTracking) tracking.push_back(file.path);
    if (file.list == DemoFile::kDiagnostic) diagnostic.push_back(file.path);
    if (file.list == DemoFile::kOptionsIni) optionsIni = file.path;
  }
  return File(*pupil_, 0, 0, "the pupil mail", [&](const std::string& route, const CodedText& name) {
    const CodedText reference(1252, u"essay-12");
    const WideString text(kPupilText);
    const ArchivedU32 options;
    // An index past every item starts a new thread.
    return TessalyPupilWriteMail(12, &reference, &name, 0, 0, &text, &options, 0, "", "",
                                 &attachments, &tracking, &diagnostic, &optionsIni, &route,
                                 UINT32_MAX);
  });
}

bool Demo::Exchange(Participant& who, bool receive, bool send, size_t expectReceived,
                    size_t expectSent) {
  std::printf("   The %s's exchange run (%s%s%s%s):\n", who.role.c_str(), receive ? "receive" : "",
              receive && send ? " and " : "", send ? "send" : "",
              background_ ? ", in the background" : "");
  if (expectReceived > 0 && servers_ != nullptr &&
      !Check(servers_->AwaitDelivery(who.user, expectReceived),
             "not everything was delivered to " + who.user)) {
    return false;
  }
  bool ok = false;
  who.host.Run([&] {
    ExchangeRequest request;
    request.receive = receive;
    request.send = send;
    request.background = background_;
    request.progress = background_ ? stdout : nullptr;
    const ExchangeReport report = RunExchange(request);
    for (const IndexEntry* entry : report.received) {
      std::printf("   received %s\n", DescribeItem(entry).c_str());
    }
    for (const IndexEntry* entry : report.sent) {
      std::printf("   sent %s\n", DescribeItem(entry).c_str());
    }
    ok = Check(report.succeeded, "the exchange run did not take place") &&
         Check(report.received.size() == expectReceived,
               "received " + std::to_string(report.received.size()) + " items, not " +
                   std::to_string(expectReceived)) &&
         Check(report.sent.size() == expectSent && report.notSent.empty(),
               "sent " + std::to_string(report.sent.size()) + " and not sent " +
                   std::to_string(report.notSent.size()));
    for (const IndexEntry* entry : report.sent) {
      ok = Check((entry->attributes & kItemNotSent) == 0, "a sent item is still marked unsent") && ok;
    }
    for (const IndexEntry* entry : MailboxEntries()) {
      ok = Check(!send || (entry->attributes & kItemNotSent) == 0,
                 "an item is left waiting: " + DescribeItem(entry)) && ok;
    }
  });
  return ok;
}

bool Demo::CheckArrival(Participant& reader, uint32_t index, uint32_t kind, uint8_t depth,
                        const std::u16string& text, const std::vector<DemoFile>& files) {
  bool ok = false;
  reader.host.Run([&] {
    const IndexEntry* entry = TessalyGetItemAtIndex(index);
    if (!Check(entry != nullptr && entry->messageType == kind && entry->depth == depth,
               "the item at " + std::to_string(index) + " is not the expected one at depth " +
                   std::to_string(depth))) {
      return;
    }
    ok = Check((entry->attributes & kItemUnread) != 0, "the arrived item is not unread");
    const WideString read = TessalyGetItemMessageText(index).Owned();
    ok = Check(read.View() == text, "its text changed on the way") && ok;
    ok = Check((entry->attributes & kItemUnread) == 0, "reading it did not mark it read") && ok;
    std::printf("   the %s reads it (no longer unread): the text arrived unchanged%s\n",
                reader.role.c_str(), files.empty() ? "." : "; its files:");
    uint16_t tracking = 0, diagnostic = 0, ini = 0, learningPath = 0, upd = 0;
    TessalyGetNbUserData(index, &tracking, &diagnostic, &ini, &learningPath, &upd);
    int32_t attachmentsSeen = 0;
    uint16_t trackingSeen = 0, diagnosticSeen = 0, iniSeen = 0;
    for (const DemoFile& file : files) {
      const std::string target = work_ + reader.role + "-received/" + file.name;
      CodedText name;
      bool extracted = false;
      switch (file.list) {
        case DemoFile::kAttachment:
          extracted = TessalyGetAttachment(index, attachmentsSeen++, &name, target.c_str());
          break;
        case DemoFile::kTracking:
          extracted = TessalyGetUserTrackingFile(index, trackingSeen++, &name, target.c_str());
          break;
        case DemoFile::kDiagnostic:
          extracted = TessalyGetUserDiagFile(index, diagnosticSeen++, &name, target.c_str());
          break;
        case DemoFile::kOptionsIni:
          ++iniSeen;
          extracted = TessalyGetUserOptionsIniFile(index, &name, target.c_str());
          break;
      }
      const std::string bytes = ReadBytes(target);
      const bool same = extracted && bytes == ReadBytes(file.path);
      std::printf("     %-16s %6zu bytes, %s\n", Ascii(name.text.View()).c_str(), bytes.size(),
                  same ? "the same bytes as sent" : "NOT the bytes sent");
      ok = Check(same, file.name + " did not arrive unchanged") && ok;
      ok = Check(Ascii(name.text.View()) == file.name, file.name + " arrived under another name") && ok;
    }
    ok = Check(TessalyGetNbAttachments(index) == attachmentsSeen && tracking == trackingSeen &&
                   diagnostic == diagnosticSeen && ini == iniSeen,
               "the item carries other files than those sent") && ok;
  });
  return ok;
}

bool Demo::TutorReadsAndReplies() {
  if (!CheckArrival(*tutor_, 0, 20, 0, kPupilText, pupilFiles_)) return false;
  std::printf("3. The tutor answers with an attachment (%s).\n", tutorFiles_[0].name.c_str());
  return File(*tutor_, 1, 1, "the reply", [&](const std::string& route, const CodedText& name) {
    const WideString text(kReplyText);
    const std::vector<std::string> attachments{tutorFiles_[0].path};
    return TessalyTutorReplyToMail(1, &name, &text, &attachments, 0, &route);
  });
}

bool Demo::PupilReadsAndAnswers() {
  if (!CheckArrival(*pupil_, 1, 21, 1, kReplyText, tutorFiles_)) return false;
  std::printf("5. The pupil answers the reply.\n");
  return File(*pupil_, 2, 2, "the answer", [&](const std::string& route, const CodedText& name) {
    const WideString text(kAnswerText);
    const ArchivedU32 options;
    return TessalyPupilWriteMail(13, &CodedText::Default(), &name, 0, 0, &text, &options, 0, "",
                                 "", nullptr, nullptr, nullptr, nullptr, &route, 1);
  });
}

// Mails cross: the pupil's second mail leaves before the tutor's reply has
// arrived, so from here on the two mailboxes number the items in another
// order; every item must still land under the one it answers.
bool Demo::PupilWritesWhileTheReplyTravels() {
  std::printf("   Before the reply arrives, the pupil writes a second mail, a new thread: the mails\n"
              "   cross, and from here on the two mailboxes number the items differently.\n");
  return File(*pupil_, 1, 0, "the second mail", [&](const std::string& route, const CodedText& name) {
    const WideString text(kSecondText);
    const ArchivedU32 options;
    return TessalyPupilWriteMail(14, &CodedText::Default(), &name, 0, 0, &text, &options, 0, "",
                                 "", nullptr, nullptr, nullptr, nullptr, &route, UINT32_MAX);
  });
}

bool Demo::TutorReadsTheAnswer() {
  return CheckArrival(*tutor_, 2, 20, 2, kAnswerText, {}) &&
         (std::printf("   The second mail arrived as a thread of its own:\n"),
          CheckArrival(*tutor_, 3, 20, 0, kSecondText, {}));
}

bool Demo::TutorRepliesToTheSecondMail() {
  std::printf("7. The tutor answers the second mail.\n");
  return File(*tutor_, 4, 1, "the second reply", [&](const std::string& route, const CodedText& name) {
    const WideString text(kSecondReplyText);
    return TessalyTutorReplyToMail(2, &name, &text, nullptr, 3, &route);
  });
}

void Demo::PrintMailboxes() {
  for (Participant* who : {pupil_.get(), tutor_.get()}) {
    std::printf("\nThe %s's mailbox:\n", who->role.c_str());
    std::fflush(stdout);
    who->host.Run([&] { PrintMailboxTree(who->base + who->user + "/mailbox/", stdout); });
  }
}

bool Demo::Run() {
  const bool ok =
      Prepare() && WritePupilMail() && Exchange(*pupil_, false, true, 0, 1) &&
      (std::printf("2. The tutor receives it.\n"), Exchange(*tutor_, true, false, 1, 0)) &&
      TutorReadsAndReplies() && Exchange(*tutor_, true, true, 0, 1) &&
      PupilWritesWhileTheReplyTravels() && Exchange(*pupil_, false, true, 0, 1) &&
      (std::printf("4. The pupil receives the reply, under the mail it answers.\n"),
       Exchange(*pupil_, true, false, 1, 0)) &&
      PupilReadsAndAnswers() && Exchange(*pupil_, true, true, 0, 1) &&
      (std::printf("6. The tutor receives the answer, under the reply, and the second mail.\n"),
       Exchange(*tutor_, true, false, 2, 0)) &&
      TutorReadsTheAnswer() && TutorRepliesToTheSecondMail() &&
      Exchange(*tutor_, true, true, 0, 1) &&
      (std::printf("8. The pupil receives it, under the second mail.\n"),
       Exchange(*pupil_, true, false, 1, 0)) &&
      CheckArrival(*pupil_, 4, 21, 1, kSecondReplyText, {});
  if (pupil_ && tutor_) PrintMailboxes();
  return ok && !failed_;
}

std::string FreshDirectory() {
  std::random_device seed;
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  for (;;) {
    const fs::path path = base / ("quorvel-demo-" + std::to_string(seed()));
    if (fs::create_directory(path, error)) return path.string() + "/";
    if (error) return "";
  }
}

int RunDemo(const Invocation& invocation) {
  const auto started = std::chrono::steady_clock::now();
  const bool useServers = invocation.Has("--servers");
  const bool oauth = invocation.Has("--oauth");
  if (oauth && !useServers) {
    invocation.Complain("--oauth needs --servers");
    return kExitUsage;
  }
  const bool keep = invocation.Has("--dir");
  std::string work;
  std::error_code error;
  if (keep) {
    work = fs::absolute(invocation.Value("--dir")).string();
    if (!fs::create_directories(work, error) && !fs::is_empty(work, error)) {
      invocation.Complain("--dir " + work + " must be a new or empty directory");
      return kExitUsage;
    }
    if (work.back() != '/') work += '/';
  } else {
    work = FreshDirectory();
    if (work.empty()) {
      invocation.Complain("no directory for the demo in the temporary directory");
      return kExitBadFile;
    }
  }
  std::printf("Quorvel demo: a pupil and a tutor exchange mails over %s, in %s%s.\n",
              !useServers ? "shared directories"
              : oauth ? "the test Postfix and Dovecot (SMTP routes, POP accounts), over TLS with "
                        "OAuth 2 tokens"
                      : "the test Postfix and Dovecot (SMTP routes, POP accounts)",
              work.c_str(), invocation.Has("--background") ? " with background exchange runs" : "");
  int status = kExitOk;
  {
    DemoServers servers;
    if (useServers && !servers.Start(work)) {
      status = kExitNoConnection;
    } else {
      if (useServers) {
        std::printf("   Postfix listens on 127.0.0.1:%u, Dovecot on 127.0.0.1:%u.\n",
                    servers.smtpPort(), servers.popPort());
      }
      Demo demo(work, useServers ? &servers : nullptr, invocation.Has("--background"), oauth);
      status = demo.Run() ? kExitOk : kExitOtherFailure;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("\n%s (%.2f s)%s\n",
              status == kExitOk ? "Everything arrived where it belongs."
                                : "The demo FAILED: see above.",
              seconds, keep ? ("; the files stay in " + work).c_str() : "");
  if (!keep) fs::remove_all(work, error);
  return status;
}

}  // namespace

const CommandDefinition kDemoCommand = {
    "demo", "", 0, 0,
    "a pupil and a tutor exchange mails, every step narrated and checked",
    {
        {"--servers", nullptr, "over the test Postfix and Dovecot (started and stopped here; root)"},
        {"--oauth", nullptr, "with --servers: STARTTLS and STLS, logging in with OAuth 2 tokens"},
        {"--background", nullptr, "each exchange run on the library's worker thread"},
        {"--dir", "DIR", "work in DIR (new or empty) and keep the files there"},
    },
    RunDemo,
    nullptr,
    "A pupil and a tutor each get a mailbox and a host thread with a library\n"
    "context of their own. The pupil writes a mail with an attachment and\n"
    "learning data; it is sent, received and read by the tutor, who answers with\n"
    "an attachment; the pupil receives the reply under the mail it answers and\n"
    "answers it; the tutor receives that answer. Every step is told, every file\n"
    "that arrives is compared byte for byte with the one sent, and both\n"
    "mailboxes are printed as thread trees. Without --servers items travel over\n"
    "shared directories; with it, by SMTP and POP3 through a test Postfix and\n"
    "Dovecot on 127.0.0.1. Exits 0 only when everything arrived.\n",
};

}  // namespace quorvel::tool
