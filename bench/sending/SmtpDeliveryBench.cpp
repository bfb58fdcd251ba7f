// Delivers composed messages of a given size to an SMTP server, one
// connection per message, as the library's send path does (compose the MIME
// file, connect, one transaction, QUIT, delete the file). Prints messages
// per second. Usage: smtp_delivery_bench PORT [MESSAGES] [BYTES]
// [HOST USER PASSWORD CAFILE]; with the last four, over STARTTLS with AUTH
// to HOST. bench/sending/smtp-sink-bench.sh runs it next to Postfix's
// smtp-source, bench/sending/tls-bench.sh next to curl.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "frame/ContextTable.h"
#include "message/MailMessage.h"
#include "platform/Threads.h"
#include "TempDirectory.h"

using namespace quorvel;

namespace {

// A body of text lines that makes the composed file `bytes` long.
std::string BodyFor(size_t bytes, size_t overhead) {
  std::string body;
  const std::string line = "The quick brown fox jumps over the lazy dog, then again and again.\r\n";
  while (body.size() + overhead < bytes) body += line;
  body.resize(bytes > overhead ? bytes - overhead : 0);
  return body;
}

std::string host = "127.0.0.1";

bool Deliver(uint16_t port, const std::string& body, const std::string& directory) {
  MailMessage message(nullptr, nullptr, nullptr);
  message.SetSender(host.c_str(), port, "pupil@example.test", "Pupil");
  message.SetRecipient("tutor@example.test");
  message.SetSubject("benchmark");
  message.SetBody(body);
  return message.SendBySmtp(false, directory.c_str(), false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: smtp_delivery_bench PORT [MESSAGES] [BYTES]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const int messages = argc > 2 ? std::atoi(argv[2]) : 500;
  const size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10240;
  if (argc > 7) {  // the SMTP client takes its security from the thread's context
    host = argv[4];
    Contexts().AddNew(platform::CurrentThreadId(), nullptr);
    SetSmtpSecurity(CallingContext(), kTlsUpgrade, argv[5], argv[6], nullptr);
    SetTlsTrust(CallingContext(), argv[7], true);
  }
  // A directory of its own: left-over "~AT<n>.eml" files would each cost a
  // look-up per message.
  const testing::TempDirectory own("quorvel-smtp-bench-");
  const std::string directory = own.path();

  // The composed file's size without the body: measured on an empty body.
  MailMessage probe(nullptr, nullptr, nullptr);
  probe.SetSender("127.0.0.1", port, "pupil@example.test", "Pupil");
  probe.SetRecipient("tutor@example.test");
  probe.SetSubject("benchmark");
  const std::string empty = probe.ComposeToFile(directory.c_str());
  const size_t overhead = std::filesystem::file_size(empty) + 2;  // the body's own CR LF
  std::filesystem::remove(empty);
  const std::string body = BodyFor(bytes, overhead);

  const auto start = std::chrono::steady_clock::now();
  int failed = 0;
  for (int i = 0; i < messages; ++i) failed += Deliver(port, body, directory) ? 0 : 1;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("quorvel: %d messages of %zu bytes in %.3f s: %.0f messages/s (%d failed)\n",
              messages, body.size() + overhead, took.count(), messages / took.count(), failed);
  return failed == 0 ? 0 : 1;
}
