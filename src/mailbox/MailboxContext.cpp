#include "mailbox/MailboxContext.h"

#include <memory>
#include <string>

#include "frame/ContextTable.h"
#include "frame/Directories.h"
#include "mailbox/Mailbox.h"
#include "mailbox/OutboundSending.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace quorvel {

namespace {

constexpr uint16_t kOpenAttempts = 10;
constexpr uint16_t kOpenPauseMilliseconds = 10;

bool EnsureDirectory(const std::string& path) {
  return platform::IsExistingDirectory(path) || CreateDirectoryPath(path);
}

}  // namespace

bool OpenContextMailbox(const char* baseDirectory, const char* name) {
  if (baseDirectory == nullptr || name == nullptr) return false;
  const std::string base = NormaliseDirectory(baseDirectory);
  if (!EnsureDirectory(base)) return false;
  const std::string directory =
      base + name + platform::kPathSeparator + "mailbox" + platform::kPathSeparator;
  if (!EnsureDirectory(directory)) return false;
  ThreadContext* context = CallingContext();
  if (context == nullptr) return false;
  context->mailboxItems = nullptr;
  context->mailbox.reset();  // closes the mailbox it had
  ForgetEntriesGone(context);
  auto mailbox = std::make_unique<Mailbox>();
  if (!mailbox->OpenIndex(directory, false, kOpenAttempts, kOpenPauseMilliseconds)) return false;
  context->mailboxItems = &mailbox->Index();
  context->mailbox = std::move(mailbox);
  context->mailboxDirectory = directory;
  context->baseDirectory = base;
  return true;
}

uint32_t SetLockingMode(ThreadContext* context, uint32_t mode) {
  if (context == nullptr) return 0;
  const uint32_t previous = context->lockingMode;
  context->lockingMode = mode;
  return previous;
}

}  // namespace quorvel
