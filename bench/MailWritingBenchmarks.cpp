// Writing a pupil mail that carries a 1 MB attachment into a mailbox, as
// TessalyPupilWriteMail does: the item written, filed as a new thread and
// the index saved. The reference does the same the way it was first built:
// the item written and packed in the temporary directory, copied into the
// mailbox, unpacked there for its stamp and packed again. The attachment is
// text, as a pupil's work is; the item is taken out again outside the
// timing, so that the mailbox keeps its size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "frame/ContextTable.h"
#include "frame/UniqueNames.h"
#include "mailbox/MailWriting.h"
#include "mailbox/Mailbox.h"
#include "mailbox/MailboxContext.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

namespace {

namespace fs = std::filesystem;
using namespace quorvel;

// About 1 MB of lines of words, the same in every run.
std::string LessonFile(const fs::path& directory) {
  const fs::path path = directory / "lesson.txt";
  std::mt19937 random(23);
  const char* const words[] = {"la", "maison", "est", "grande", "et", "le", "jardin", "fleuri"};
  std::ofstream out(path, std::ios::binary);
  for (size_t written = 0; written < 1000000;) {
    std::string line;
    while (line.size() < 70) line += std::string(words[random() % 8]) + ' ';
    line += "\r\n";
    out << line;
    written += line.size();
  }
  return path.string();
}

// Writes the mail into a fresh mailbox `iterations` times by `write`.
template <typename Write>
void WriteMails(benchmark::State& state, const Write& write) {
  const fs::path own = fs::path(platform::TemporaryDirectory()) / "quorvel-bench" / "writing";
  fs::remove_all(own);
  fs::create_directories(own);
  Contexts().AddNew(platform::CurrentThreadId(), nullptr);
  ThreadContext* context = CallingContext();
  if (!OpenContextMailbox((own.string() + "/").c_str(), "pupil")) {
    state.SkipWithError("no mailbox");
    return;
  }
  Mailbox& mailbox = *MailboxOf(context);
  exchange::PupilMailContent mail;
  mail.message.correspondent = CodedText(1252, WideString(u"Tutor T"));
  mail.message.text = WideString(u"My homework is attached.");
  mail.attachments = {LessonFile(own)};
  for (auto _ : state) {
    if (!write(context, mailbox, mail)) {
      state.SkipWithError("writing");
      break;
    }
    state.PauseTiming();
    const uint32_t last = mailbox.Index().Count() - 1;
    platform::RemoveFile(mailbox.PathOf(mailbox.Index().EntryAt(last)));
    mailbox.NameFreed(mailbox.Index().EntryAt(last).fileName);
    mailbox.Index().RemoveAt(last);
    mailbox.Index().outboxQueue.clear();
    state.ResumeTiming();
  }
  Contexts().Remove(platform::CurrentThreadId());
  fs::remove_all(own);
}

const char kRoute[] = "smtp|tutor@example.test";

void BM_PupilWriteMail(benchmark::State& state) {
  WriteMails(state, [](ThreadContext* context, Mailbox&, const exchange::PupilMailContent& mail) {
    return PupilWriteMail(context, mail, kRoute, 0xFFFFFFFF);
  });
}

void BM_PupilWriteMailCopied(benchmark::State& state) {
  WriteMails(state, [](ThreadContext*, Mailbox& mailbox, const exchange::PupilMailContent& mail) {
    const std::string temporary = UniqueTempName("qv6");
    const bool filed = exchange::WritePupilMailFile(mail, std::nullopt, temporary) &&
                       mailbox.FileNewMail(temporary, {kRoute}, CodedTextArray()) != kNoItem &&
                       mailbox.SaveIndex();
    platform::RemoveFile(temporary);
    return filed;
  });
}

BENCHMARK(BM_PupilWriteMail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PupilWriteMailCopied)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
