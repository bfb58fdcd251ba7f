// MailsSendMails' path on a directory of mail-data files: each round writes
// MESSAGES files with a text of about BYTES bytes into a fresh queue, then
// times SendMails on it (read, compose, deliver to the SMTP server at PORT,
// move to the sent directory). Then the same mail sent COUNT times in the
// foreground and COUNT times through the background worker. Prints one line
// per figure; bench/sending/send-mails-bench.sh interleaves it with
// Postfix's smtp-source and takes medians.
// Usage: send_mails_bench PORT [MESSAGES] [BYTES] [--only-send-mails]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>

#include "frame/ContextTable.h"
#include "mail/SendFunctions.h"
#include "mail/ThreadedSend.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

using namespace quorvel;

namespace {

using Clock = std::chrono::steady_clock;

std::mutex lock;
std::condition_variable done;
bool finished = false;

void OnCompletion(uint32_t, uint32_t) {
  std::lock_guard hold(lock);
  finished = true;
  done.notify_all();
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: send_mails_bench PORT [MESSAGES] [BYTES]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const int messages = argc > 2 ? std::atoi(argv[2]) : 500;
  const size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10240;
  const std::filesystem::path own =
      std::filesystem::path(platform::TemporaryDirectory()) /
      ("quorvel-send-mails-bench-" + std::to_string(std::random_device()()));
  const std::string queue = (own / "queue").string() + "/", sent = (own / "sent").string() + "/",
                    compose = (own / "compose").string() + "/";
  for (const std::string& directory : {queue, sent, compose}) {
    std::filesystem::create_directories(directory);
  }

  std::mutex hostMutex;
  Contexts().AddNew(platform::CurrentThreadId(), hostMutex.native_handle());
  ThreadContext* context = CallingContext();
  context->protocol = kProtocolSmtpPop;
  context->smtpHost = "127.0.0.1";
  context->smtpPort = port;
  context->mimeDirectory = compose;
  context->sentDirectory = sent;

  MailData mail;
  mail.from = "pupil@example.test";
  mail.AddTo("tutor@example.test");
  mail.SetSubject("benchmark");
  std::string text;
  const std::string line = "The quick brown fox jumps over the lazy dog, then again and again.\r\n";
  while (text.size() + line.size() <= bytes) text += line;
  mail.SetMessage(text);
  for (int i = 0; i < messages; ++i) {
    MailData copy = mail;
    copy.WriteToDirectory(queue);
  }
  auto start = Clock::now();
  SendMails(queue.c_str());
  double took = Seconds(start);
  const size_t left = static_cast<size_t>(std::distance(std::filesystem::directory_iterator(queue),
                                                        std::filesystem::directory_iterator()));
  std::printf("send_mails %d %.4f %zu\n", messages, took, left);
  const bool onlySendMails = argc > 4 && std::string(argv[4]) == "--only-send-mails";

  // The same single mail: foreground, then background, as many times each.
  const int single = onlySendMails ? 0 : messages / 5 > 0 ? messages / 5 : 1;
  start = Clock::now();
  for (int i = 0; i < single; ++i) DeliverMailData(mail);
  if (!onlySendMails) std::printf("foreground %d %.4f\n", single, Seconds(start));
  start = Clock::now();
  for (int i = 0; i < single; ++i) {
    finished = false;
    ThreadedSendMail(&mail, OnCompletion, 0);
    std::unique_lock hold(lock);
    done.wait(hold, [] { return finished; });
  }
  if (!onlySendMails) std::printf("background %d %.4f\n", single, Seconds(start));
  {
    std::lock_guard hold(hostMutex);  // the last worker has left
    Contexts().Remove(platform::CurrentThreadId());
  }
  std::filesystem::remove_all(own);
  return left == 0 ? 0 : 1;
}
