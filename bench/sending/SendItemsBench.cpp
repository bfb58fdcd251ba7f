// The exchange layer's send run: ITEMS queued items of about BYTES bytes each
// (a pupil mail carrying an incompressible attachment), each with one SMTP
// route to the server at PORT, sent by one run over the outbox queue. Prints
// "send_items ITEMS SECONDS SENT", timing the run only (filing the items is
// set-up). With --composed-size it prints the size of the message that one
// item composes to instead, for the reference client's message size.
// Usage: send_items_bench PORT [ITEMS] [BYTES] [--composed-size]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "frame/ContextTable.h"
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "mailbox/OutboundSending.h"
#include "message/MailMessage.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

using namespace quorvel;

namespace {

using Clock = std::chrono::steady_clock;

bool WriteItem(const std::string& path, const std::string& attachment) {
  exchange::ExchangeFile file;
  if (!file.Open(path, false, true) || !file.SetKind(exchange::kKindPupilMail)) return false;
  exchange::PupilMessage message;
  message.correspondent = CodedText(1252, WideString(u"Tutor"));
  if (!message.Write(file) || !file.CreateBlock(exchange::kBlockAttachments)) return false;
  if (!file.PutFile(10601, attachment, CodedText(1252, WideString(u"lesson.bin")))) return false;
  file.LeaveBlock();
  return file.Close();
}

void WriteRandom(const std::string& path, size_t bytes) {
  std::mt19937_64 random(17);
  std::string data(bytes, '\0');
  for (char& c : data) c = static_cast<char>(random());
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), out);
  std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: send_items_bench PORT [ITEMS] [BYTES] [--composed-size]\n");
    return 2;
  }
  const std::string port = argv[1];
  const int items = argc > 2 ? std::atoi(argv[2]) : 200;
  const size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100 * 1024;
  const bool composedSize = argc > 4 && std::strcmp(argv[4], "--composed-size") == 0;
  const std::filesystem::path own =
      std::filesystem::path(platform::TemporaryDirectory()) /
      ("quorvel-send-items-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(own);
  const std::string attachment = (own / "lesson.bin").string(), item = (own / "item.qv6").string();
  // The item file's packing adds a little to the incompressible attachment.
  WriteRandom(attachment, bytes - bytes / 100);
  if (!WriteItem(item, attachment)) return 1;

  const std::string route =
      "1|tutor@example.test|127.0.0.1|" + port + "|pupil@example.test|1252|Pupil";
  if (composedSize) {
    MailMessage message(nullptr, nullptr, nullptr);
    message.SetSender("127.0.0.1", 25, "pupil@example.test", "Pupil");
    message.SetRecipient("tutor@example.test");
    message.AddAttachment(item.c_str(), nullptr, false);
    const std::string composed = message.ComposeToFile((own.string() + "/").c_str());
    std::printf("%ju\n", static_cast<uintmax_t>(std::filesystem::file_size(composed)));
    std::filesystem::remove_all(own);
    return 0;
  }

  Contexts().AddNew(platform::CurrentThreadId(), nullptr);
  ThreadContext* context = CallingContext();
  if (!OpenContextMailbox(own.c_str(), "pupil")) return 1;
  Mailbox& mailbox = *MailboxOf(context);
  for (int i = 0; i < items; ++i) {
    if (mailbox.FileNewMail(item, {route}, CodedTextArray()) == kNoItem) return 1;
  }
  mailbox.SaveIndex();
  const auto start = Clock::now();
  SendQueuedItems(context);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  const uint32_t sent = context->sentItems.Size();
  std::printf("send_items %d %.4f %u\n", items, took, sent);
  Contexts().Remove(platform::CurrentThreadId());
  std::filesystem::remove_all(own);
  return sent == static_cast<uint32_t>(items) ? 0 : 1;
}
