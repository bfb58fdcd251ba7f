// quorvel send --mes FILE: sends a mail-data file as a host does, through the
// library's exports, by SMTP. In the foreground MailsSendMailFromFile files
// the mail into the out or sent directory; with --background a worker sends
// it while this thread polls the percentage, Ctrl-C stops the worker, and
// the tool files the mail itself once the worker has finished: the library
// reads the file (MailsGetMails), the tool moves its files under their own
// names, as a host does with its own system calls. Progress is
// drawn only on a terminal and not with --quiet, which prints only errors.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitCodes.h"
#include "quorvel/ErrorCodes.h"
#include "mail/MailFileFormat.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Terminal.h"
#include "platform/Threads.h"
#include "quorvel/quorvel.h"

namespace quorvel::tool {

namespace {

struct MesOptions {
  std::string file;
  std::string host;
  uint16_t port = 25;
  std::string out;
  std::string sent;
  bool background = false;
  bool quiet = false;
};

bool ParseMesOptions(const Invocation& invocation, MesOptions& options) {
  options.file = invocation.Value("--mes");
  options.out = invocation.Value("--out");
  options.sent = invocation.Value("--sent");
  options.background = invocation.Has("--background");
  options.quiet = invocation.Has("--quiet");
  return ParseHostAndPort(invocation.Value("--smtp"), options.host, options.port);
}

bool progressShown = false;

void ShowPercent(int32_t percent) {
  if (progressShown) std::fprintf(stderr, "\r  sent %3d%%", percent);
}

void OnProgress(uint32_t event, uint32_t argument) {
  if (event == 11) ShowPercent(static_cast<int32_t>(argument));  // progress
}

// The background worker's end, reported on its thread.
struct Completion {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  uint32_t result = 0;
} completion;

void OnCompletion(uint32_t, uint32_t result) {
  std::lock_guard hold(completion.lock);
  completion.finished = true;
  completion.result = result;
  completion.done.notify_all();
}

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

// The record of a mail-data file, as the library reads it: the mails of its
// directory (the reception directory for a moment), and the one of them
// that is this file.
std::optional<MailData> ReadMailFile(const std::string& file) {
  std::string directory = platform::DirectoryOf(file);
  if (directory.empty()) directory = std::string(".") + platform::kPathSeparator;
  MailDataList list;
  if (!MailsSetReceptionDirectory(directory.c_str()) || !MailsGetMails(&list)) return std::nullopt;
  const std::string name = platform::FileNameOf(file);
  for (uint32_t i = 0; i < list.Size(); ++i) {
    if (platform::FileNameOf(list.At(i)->filePath) == name) return *list.At(i);
  }
  return std::nullopt;
}

// Moves the mail-data file and its attachment content files into
// `directory`, keeping their names; an existing file there is not replaced.
bool MoveMailFiles(const MailData& mail, const std::string& directory) {
  const std::string into = platform::NormaliseDirectory(directory);
  std::vector<std::string> files{mail.filePath};
  for (const std::string& file : mail.attachmentFiles) {
    if (!file.empty()) files.push_back(file);
  }
  bool moved = true;
  for (const std::string& file : files) {
    moved = platform::RenameFile(file, into + platform::FileNameOf(file)) && moved;
  }
  return moved;
}

// Sends in the background; answers the worker's result.
bool SendInBackground(const MesOptions& options, MailData& mail) {
  if (!MailsThreadedSendMail(&mail, OnCompletion, 0)) return false;
  const auto previous = std::signal(SIGINT, OnInterrupt);
  bool stopping = false;
  std::unique_lock hold(completion.lock);
  while (!completion.finished) {
    hold.unlock();
    if (interrupted && !stopping) {
      stopping = true;
      if (!options.quiet) std::fprintf(stderr, "\n  stopping...\n");
      MailsStopThreadedSend();
    }
    ShowPercent(MailsGetPercentSent());
    hold.lock();
    completion.done.wait_for(hold, std::chrono::milliseconds(100));
  }
  std::signal(SIGINT, previous);
  // The host files the mail itself after a background send.
  const bool sent = completion.result == 1;
  const std::string& directory = sent ? options.sent : options.out;
  if (!directory.empty() && !MoveMailFiles(mail, directory)) {
    std::fprintf(stderr, "quorvel send: cannot move the mail to %s\n", directory.c_str());
  }
  return sent;
}

// The tool's exit code for a send that failed with the library's `error`.
int ExitCodeOfFailure(int32_t error) {
  switch (error) {
    case kErrorSmtpConnect:
      return kExitNoConnection;
    case kErrorSendingFile:
      return kExitServerRefused;
    case kErrorProblemWithFile:
    case kErrorNoDirectory:
    case kErrorNoFileFound:
    case kErrorMailDataFile:
    case kErrorMimeCreation:
      return kExitBadFile;
    default:
      return kExitOtherFailure;
  }
}

}  // namespace

int RunSendMes(const Invocation& invocation) {
  MesOptions options;
  if (!ParseMesOptions(invocation, options)) {
    return UsageError(invocation.command(), "option --smtp: \"" + invocation.Value("--smtp") +
                                                "\" is not HOST or HOST:PORT (port 1 to 65535)");
  }
  progressShown = !options.quiet && platform::StandardErrorIsTerminal();
  // Never destroyed: the worker takes it to leave its context after the
  // completion callback, which may be after this function has returned.
  static platform::HostMutex& contextMutex = *new platform::HostMutex;
  MTAddNew(contextMutex.handle());
  const CodedText noName;
  bool ok = MailsUseSMTP_POP("", 110, "", "", options.host.c_str(), options.port, &noName,
                             nullptr, 0) &&
            MailsSetOutDirectory(options.out.empty() ? nullptr : options.out.c_str()) &&
            MailsSetSentDirectory(options.sent.empty() ? nullptr : options.sent.c_str());
  if (ok) {
    if (options.background) {
      std::optional<MailData> mail = ReadMailFile(options.file);
      ok = mail && SendInBackground(options, *mail);
    } else {
      MailsSetCallback(OnProgress);
      ok = MailsSendMailFromFile(options.file.c_str());
    }
  }
  const int32_t error = MailsGetLastErrorCode();
  {
    std::lock_guard hold(contextMutex);
    MTRemove();
  }
  if (progressShown) std::fprintf(stderr, "\n");
  if (ok) {
    if (!options.quiet) std::fprintf(stderr, "sent %s\n", options.file.c_str());
    return 0;
  }
  const bool tooLarge = error == kErrorMailDataFile &&
                        platform::FileLength(options.file).value_or(0) > kMaxMailFileBytes;
  std::fprintf(stderr, "quorvel send: %s not sent, error %d (%s%s)\n", options.file.c_str(), error,
               ErrorMessage(static_cast<uint32_t>(error)),
               tooLarge ? ": larger than the 64 MiB a mail-data file may have" : "");
  return ExitCodeOfFailure(error);
}

}  // namespace quorvel::tool
