#include "ExchangeRun.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "MailboxView.h"
#include "mailbox/EntryText.h"

namespace quorvel::tool {

namespace {

// The completion callback gets a 32-bit value of the host's choosing; it
// names the waiting run's event here.
struct Completion {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  uint32_t result = 0;
};

std::mutex completionsLock;
std::map<uint32_t, std::shared_ptr<Completion>> completions;
uint32_t nextCompletion = 1;

void OnCompletion(uint32_t userValue, uint32_t result) {
  std::shared_ptr<Completion> completion;
  {
    std::lock_guard<std::mutex> hold(completionsLock);
    const auto found = completions.find(userValue);
    if (found == completions.end()) return;
    completion = found->second;
  }
  std::lock_guard<std::mutex> hold(completion->lock);
  completion->finished = true;
  completion->result = result;
  completion->done.notify_all();
}

constexpr uint32_t kSmtpMessage = 0xC000;  // "MESSAGES_SMTP"

// The events worth a line, as the SMTP and POP clients number them.
const char* EventText(uint32_t message, uintptr_t event) {
  if (message == kSmtpMessage) {
    switch (event) {
      case 1: return "smtp: connecting";
      case 5: return "smtp: sending a message";
      case 9: return "smtp: message accepted";
      case 13: return "smtp: failed, error";
      default: return nullptr;
    }
  }
  switch (event) {
    case 1: return "pop: connecting";
    case 18: return "pop: logged in";
    case 20: return "pop: messages waiting";
    case 29: return "pop: message received";
    case 22: return "pop: message deleted";
    case 13: return "pop: failed, error";
    default: return nullptr;
  }
}

intptr_t ShowEvent(ClientWindow* window, uint32_t message, uintptr_t event, intptr_t argument) {
  const char* text = EventText(message, event);
  if (text == nullptr) return 0;
  FILE* out = static_cast<FILE*>(window->hostData);
  if (event == 13 || event == 20) {
    std::fprintf(out, "      %s %ld\n", text, static_cast<long>(argument));
  } else {
    std::fprintf(out, "      %s\n", text);
  }
  return 0;
}

// Starts one of the threaded exports and waits for its callback.
bool RunInBackground(bool (*start)(CompletionCallback, uint32_t), FILE* progress) {
  auto completion = std::make_shared<Completion>();
  uint32_t key = 0;
  {
    std::lock_guard<std::mutex> hold(completionsLock);
    key = nextCompletion++;
    completions[key] = completion;
  }
  bool result = false;
  if (progress != nullptr) std::fprintf(progress, "      starting the library's worker\n");
  if (start(OnCompletion, key)) {
    std::unique_lock<std::mutex> hold(completion->lock);
    completion->done.wait(hold, [&] { return completion->finished; });
    result = completion->result != 0;
    if (progress != nullptr) {
      std::fprintf(progress, "      completion callback: result %u\n", completion->result);
    }
  } else if (progress != nullptr) {
    std::fprintf(progress, "      the library refused to start it\n");
  }
  std::lock_guard<std::mutex> hold(completionsLock);
  completions.erase(key);
  return result;
}

std::vector<const IndexEntry*> Entries(const IndexEntryArray* array) {
  std::vector<const IndexEntry*> entries;
  if (array == nullptr) return entries;
  for (uint32_t i = 0; i < array->Size(); ++i) entries.push_back((*array)[i]);
  return entries;
}

}  // namespace

ExchangeReport RunExchange(const ExchangeRequest& request) {
  ExchangeReport report;
  const std::vector<const IndexEntry*> before = MailboxEntries();
  ClientWindow window{ShowEvent, request.progress};
  if (request.progress != nullptr) MailsSetClientWindow(&window);
  if (request.background) {
    const auto start = request.receive && request.send ? TessalyThreadedReceiveAndSendMails
                       : request.receive               ? TessalyThreadedReceiveMails
                                                       : TessalyThreadedSendMails;
    report.succeeded = (request.receive || request.send) && RunInBackground(start, request.progress);
  } else {
    report.succeeded = true;
    if (request.receive) report.succeeded = TessalyReceiveMails() && report.succeeded;
    if (request.send) report.succeeded = TessalySendMails() && report.succeeded;
  }
  if (request.progress != nullptr) MailsSetClientWindow(nullptr);
  const std::set<const IndexEntry*> old(before.begin(), before.end());
  for (const IndexEntry* entry : MailboxEntries()) {
    if (old.count(entry) == 0) report.received.push_back(entry);
  }
  if (request.send) {
    report.sent = Entries(TessalyGetSentItems());
    report.notSent = Entries(TessalyGetNotSentItems());
  }
  return report;
}

std::string DescribeItem(const IndexEntry* entry) {
  const std::vector<const IndexEntry*> entries = MailboxEntries();
  const auto found = std::find(entries.begin(), entries.end(), entry);
  if (found == entries.end()) return "an item no longer in the mailbox";
  const size_t position = static_cast<size_t>(found - entries.begin());
  const uint32_t id = MailboxIds({entry})[0];
  std::string text = MessageTypeName(entry->messageType) + " at " + std::to_string(position);
  if (id != 0) text += " (#" + std::to_string(id) + ")";
  text += ", " + entry->fileName;
  if (entry->depth > 0) text += ", a reply at depth " + std::to_string(entry->depth);
  return text;
}

void PrintExchangeReport(const ExchangeRequest& request, const ExchangeReport& report, FILE* out) {
  const auto list = [out](const char* what, const std::vector<const IndexEntry*>& items) {
    std::fprintf(out, "%s: %zu\n", what, items.size());
    for (const IndexEntry* entry : items) std::fprintf(out, "  %s\n", DescribeItem(entry).c_str());
  };
  if (request.receive) list("received", report.received);
  if (request.send) {
    list("sent", report.sent);
    list("not sent", report.notSent);
  }
}

}  // namespace quorvel::tool
