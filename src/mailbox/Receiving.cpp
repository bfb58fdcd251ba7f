#include "mailbox/Receiving.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frame/LogEvents.h"
#include "frame/UniqueNames.h"
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "message/MailMessage.h"
#include "message/MessageParser.h"
#include "protocol/PopClient.h"
#include "mail/PopFetch.h"
#include "mail/ReceiveFunctions.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

// The older extensions still arrive from elsewhere; the order is the order
// in which a directory's files are taken.
constexpr const char* kReceivedPatterns[] = {"*.qv6", "*.qv5", "*.qvs"};

// The saves of one run: a source may let go of what it gave only once a save
// has made it part of the index on disk. Saves only what changed since the
// run's last save, so that a run saves once per source that gave something,
// and at least once.
class RunSaves {
 public:
  explicit RunSaves(Mailbox& mailbox) : mailbox_(mailbox) {}

  // True when the index on disk lists everything filed so far.
  bool Commit() {
    if (saved_ && mailbox_.NextId() == savedNextId_) return true;
    saved_ = mailbox_.SaveIndex();
    savedNextId_ = mailbox_.NextId();
    return saved_;
  }

 private:
  Mailbox& mailbox_;
  bool saved_ = false;
  uint32_t savedNextId_ = 0;  // filing an item moves it on
};

std::vector<std::string> ReceivedFilesIn(const std::string& directory) {
  std::vector<std::string> paths;
  for (const char* pattern : kReceivedPatterns) {
    for (const platform::DirectoryEntry& entry : platform::ListDirectory(directory, pattern)) {
      if (!entry.isDirectory) paths.push_back(directory + entry.name);
    }
  }
  return paths;
}

// Where a file of a shared directory that is not taken is logged.
constexpr uint32_t kLocationSharedFileLeft = 540;

// A message that carries no exchange item is filed as a plain mail, which
// holds its whole text; a longer one stays on the server.
constexpr size_t kLargestPlainMail = 16 * 1024 * 1024;

void LogLeft(const std::string& path, const char* why) {
  SetLogNumber(kKeyLocation, kLocationSharedFileLeft);
  SetLogValue(kKeySourcePath, path);
  SetLogValue(kKeyMessage, why);
  WriteLogEvent(kEventCaughtError);
}

// A file of a shared directory that was filed: what it was when it was
// copied, so that only that file is taken away, and the mailbox's copy.
struct Taken {
  std::string source;
  platform::FileStamp stamp;
  std::string filed;
};

// Files a file of a shared directory from a private copy of it, made only
// when the file is a regular file itself: a link is not followed (its
// target is neither filed nor removed), a FIFO or device is not waited for,
// and the file cannot change between its checks and its filing.
std::optional<Taken> FileFromDirectory(Mailbox& mailbox, const std::string& source) {
  const std::optional<platform::FileStamp> stamp = platform::StampOf(source);
  // The copy is made in the mailbox's directory, so that it becomes the
  // item by a rename; its extension is no item's.
  const std::string copy = UniqueTempName("tmp", mailbox.Directory());
  if (!stamp || copy.empty() || !platform::DuplicateRegularFile(source, copy)) {
    if (!copy.empty()) platform::RemoveFile(copy);
    LogLeft(source, "not taken: not a regular file, or unreadable");
    return std::nullopt;
  }
  uint32_t position = 0;
  bool notAnItem = false;
  const uint32_t id =
      mailbox.ImportExchangeFile(copy, &position, nullptr, nullptr, &notAnItem, true);
  if (platform::IsExistingFile(copy)) platform::RemoveFile(copy);
  if (id == kNoItem) {
    LogLeft(source, notAnItem ? "not taken: no exchange item, or one unpacking past its bound"
                              : "not taken: it could not be filed");
    return std::nullopt;
  }
  return Taken{source, *stamp, mailbox.PathOf(std::as_const(mailbox.Index()).EntryAt(position))};
}

void ReceiveFromDirectory(Mailbox& mailbox, const std::string& directory, RunSaves& saves) {
  if (directory.empty()) return;
  std::vector<Taken> filed;
  for (const std::string& path : ReceivedFilesIn(directory)) {
    if (std::optional<Taken> taken = FileFromDirectory(mailbox, path)) {
      filed.push_back(std::move(*taken));
    }
  }
  if (filed.empty()) return;
  // What replaces the files is on the disk before they go: the copies, then
  // the directory's entries for them (once for all), then the index.
  std::vector<std::string> filedFiles;
  for (const Taken& taken : filed) filedFiles.push_back(taken.filed);
  const bool durable = SyncToDisk(filedFiles);
  if (!saves.Commit() || !durable) return;
  for (const Taken& taken : filed) {
    // A file put in its place since (the same name given again) stays.
    if (platform::StampOf(taken.source) == taken.stamp) platform::RemoveFile(taken.source);
  }
}

// Files the exchange files a mail carries, or, when it carries none, the
// mail itself. False when something it carries could not be filed: the mail
// must then stay on the server.
bool FileMail(Mailbox& mailbox, MailMessage& parsed, const std::string* text) {
  bool anyFiled = false;
  bool allFiled = true;
  for (const std::string& part : parsed.attachmentSources) {
    if (!platform::IsExistingFile(part)) continue;
    bool notAnItem = false;
    if (mailbox.ImportExchangeFile(part, nullptr, nullptr, nullptr, &notAnItem, true) != kNoItem) {
      anyFiled = true;
    } else if (!notAnItem) {
      allFiled = false;
    }
  }
  RemovePartFiles(parsed);
  if (anyFiled || !allFiled) return anyFiled && allFiled;
  if (text == nullptr) {
    LogLeft("POP message", "not taken: a plain mail larger than a plain-mail item may hold");
    return false;
  }
  return mailbox.ImportPlainMail(*text) != kNoItem;
}

// The item files of the ids from `firstId` on that the mailbox holds.
void AddItemFiles(Mailbox& mailbox, uint32_t firstId, std::vector<std::string>& files) {
  for (uint32_t id = firstId; id != mailbox.NextId(); ++id) {
    if (const IndexEntry* entry = mailbox.EntryOf(id)) files.push_back(mailbox.PathOf(*entry));
  }
}

void ReceiveFromPop(Mailbox& mailbox, ThreadContext& context, const PopInProtocol& account,
                    RunSaves& saves) {
  PopClient client(context.clientWindow, CallingTransportSecurity(), CallingReceiveLimits());
  client.SetCallback(context.progressCallback);
  client.SetStopRequest(&context.stopRequested);
  if (!client.Connect(account.host.c_str(), account.port, account.user.c_str(),
                      account.password.c_str())) {
    return;
  }
  uint16_t count = 0;
  if (!client.GetMessageCount(count)) return;
  MailMessage parsed(nullptr, nullptr, nullptr);
  std::vector<uint32_t> filed;
  std::vector<std::string> itemFiles;
  // The parts are written into the mailbox's directory: an exchange file
  // among them becomes its item by a rename.
  FetchEachMessage(client, count, parsed, mailbox.Directory(), kLargestPlainMail,
                   [&](uint32_t number, const std::string* text) {
    const uint32_t firstId = mailbox.NextId();
    if (FileMail(mailbox, parsed, text)) filed.push_back(number);
    AddItemFiles(mailbox, firstId, itemFiles);
  });
  // The server forgets the deleted messages only at QUIT; no deletion is
  // even asked for before their items are on the disk and the index that
  // holds them is saved.
  if (!filed.empty() && !(SyncToDisk(itemFiles) && saves.Commit())) return;
  for (const uint32_t number : filed) client.Delete(number);
  client.Quit();
}

}  // namespace

bool ReceiveMails(ThreadContext* context) {
  Mailbox* mailbox = MailboxOf(context);
  if (mailbox == nullptr || !mailbox->IsOpen() || (context->lockingMode & kLockReceiving) != 0) {
    return false;
  }
  RunSaves saves(*mailbox);
  for (const std::unique_ptr<FileInProtocol>& source : context->fileInProtocols) {
    ReceiveFromDirectory(*mailbox, source->directory, saves);
  }
  for (const std::unique_ptr<PopInProtocol>& account : context->popInProtocols) {
    ReceiveFromPop(*mailbox, *context, *account, saves);
  }
  saves.Commit();
  return true;
}

}  // namespace quorvel
