// ThreadContext: everything the library keeps for one host thread (protocol
// choice, server parameters, directories, notification targets, the state of
// a background operation, the last error and the open mailbox).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/ReceiveLimits.h"
#include "frame/TransportSecurity.h"
#include "quorvel/CodedText.h"
#include "quorvel/Handles.h"
#include "quorvel/IndexEntry.h"


namespace quorvel {

namespace platform {
class Thread;
}

class MailboxIndex;  // the open mailbox's item index

// What a context owns of the exchange layer: its open mailbox. Destroying it
// closes the mailbox.
class ContextMailbox {
 public:
  virtual ~ContextMailbox() = default;
};

// Inbound accounts and sources registered for the exchange layer.
struct PopInProtocol {
  std::string host;
  uint16_t port = 110;
  std::string user;
  std::string password;
};
struct HttpInProtocol {
  std::string firstText;
  uint16_t port = 0;
  std::string secondText;
};
struct FileInProtocol {
  std::string directory;
};

// A queued exchange operation of a background worker.
using ExchangeOperation = bool (*)();

enum MailProtocol : uint32_t {
  kProtocolNone = 0,
  kProtocolMapi = 1,
  kProtocolNotes = 2,
  kProtocolSmtpPop = 3,
};

struct ThreadContext {
  std::atomic<uint32_t> lastError{0};  // a background worker writes it too
  uint32_t protocol = kProtocolNone;
  std::string popHost;
  uint16_t popPort = 110;
  std::string popUser;
  std::string popPassword;
  std::string smtpHost;
  uint16_t smtpPort = 25;
  CodedText senderName;
  std::string mimeDirectory;  // ends with a separator when not empty
  std::string outDirectory;
  std::string sentDirectory;
  std::string receptionDirectory;
  uint8_t mimeFlag = 0;  // stored only
  WindowHandle clientWindow = nullptr;
  ProgressCallback progressCallback = nullptr;
  CompletionCallback completionCallback = nullptr;
  std::vector<ExchangeOperation> exchangeOperations;
  // Shared with a background worker without locks: the host sets the two
  // requests, the worker clears them and writes the percentage.
  std::atomic<uint8_t> stopRequested{0};
  std::atomic<uint8_t> suspendRequested{0};
  std::atomic<int32_t> percentSent{0};
  uint32_t completionUserValue = 0;
  std::shared_ptr<platform::Thread> workerThread;
  MutexHandle contextMutex = nullptr;
  uint32_t referenceCount = 1;
  std::unique_ptr<ContextMailbox> mailbox;
  MailboxIndex* mailboxItems = nullptr;  // part of `mailbox`, not owned
  std::vector<std::unique_ptr<PopInProtocol>> popInProtocols;
  std::vector<std::unique_ptr<HttpInProtocol>> httpInProtocols;
  std::vector<std::unique_ptr<FileInProtocol>> fileInProtocols;
  uint32_t lockingMode = 0;  // bit 0: sending locked; bit 1: receiving locked
  std::string mailboxDirectory;
  std::string baseDirectory;
  // One element per route of the last send run that delivered, or did not.
  IndexEntryArray sentItems;
  IndexEntryArray notSentItems;
  TransportSecurity security;  // an extension; the plain dialogues by default
  ReceiveLimits receiveLimits;  // an extension

  ThreadContext();
  ~ThreadContext();
  ThreadContext(const ThreadContext&) = delete;
  ThreadContext& operator=(const ThreadContext&) = delete;

  // Contexts alive in this process (for leak checks).
  static int LiveCount();
};

}  // namespace quorvel
