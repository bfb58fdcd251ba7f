// Mailboxes of 100, 1 000 and 10 000 small items in threads of depth up to 5:
// opening one, a lookup by id, filing one more item (its save included),
// loading an item for reading, an atomic save next to the plain in-place
// rewrite the original made (no side file, no sync), and receiving 200 items
// from a shared directory.
//
// The mailboxes are built once under the temporary directory and reused.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/ItemStamp.h"
#include "mailbox/InboundProtocols.h"
#include "mailbox/IndexFormat.h"
#include "mailbox/Mailbox.h"
#include "mailbox/Receiving.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using namespace quorvel;

std::string BenchDirectory() {
  static const std::string directory = [] {
    const std::string path = platform::TemporaryDirectory() + "quorvel-bench/mailboxes/";
    fs::create_directories(path);
    return path;
  }();
  return directory;
}

// A small pupil mail, written once.
std::string SmallItem() {
  static const std::string path = [] {
    const std::string item = BenchDirectory() + "small.qv6";
    fs::remove(item);
    exchange::ExchangeFile file;
    exchange::PupilMessage message;
    message.correspondent = CodedText(1252, WideString(u"Tutor T"));
    message.text = WideString(u"A short mail of a few words.");
    if (!file.Open(item, false, true) || !file.SetKind(exchange::kKindPupilMail) ||
        !message.Write(file) || !file.Close()) {
      return std::string();
    }
    return item;
  }();
  return path;
}

// The mailbox of `count` items: every sixth item a thread root, the five
// after it each a reply to the one before (depths 0 to 5).
std::string MailboxOf(uint32_t count) {
  const std::string directory = BenchDirectory() + std::to_string(count) + "/";
  Mailbox mailbox;
  if (!mailbox.OpenIndex(directory, false, 1, 0)) return std::string();
  uint32_t previous = 0;
  for (uint32_t i = mailbox.Index().Count(); i < count; ++i) {
    previous = i % 6 == 0
                   ? mailbox.FileNewMail(SmallItem(), {"smtp|tutor@example.test"}, CodedTextArray())
                   : mailbox.FileReply(SmallItem(), previous, "smtp|pupil@example.test", CodedText());
    if (previous == kNoItem) return std::string();
  }
  mailbox.SaveIndex();
  return directory;
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

// Opens the mailbox of the benchmark's size; false (the benchmark skipped)
// when it cannot be built or opened.
bool OpenSized(Mailbox& mailbox, benchmark::State& state, std::string* directory = nullptr) {
  const std::string path = MailboxOf(static_cast<uint32_t>(state.range(0)));
  if (directory != nullptr) *directory = path;
  if (!path.empty() && mailbox.OpenIndex(path, false, 1, 0)) return true;
  state.SkipWithError("no mailbox");
  return false;
}

void BM_MailboxOpen(benchmark::State& state) {
  const std::string directory = MailboxOf(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    Mailbox mailbox;
    if (!mailbox.OpenIndex(directory, false, 1, 0)) state.SkipWithError("open");
    mailbox.CloseIndex(false);
  }
}

void BM_MailboxLookupById(benchmark::State& state) {
  Mailbox mailbox;
  if (!OpenSized(mailbox, state)) return;
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> ids(1, mailbox.NextId() - 1);
  for (auto _ : state) benchmark::DoNotOptimize(mailbox.FindItem(ids(random)));
}

// Files one reply under a random item and saves; the item is taken out again
// outside the timing, so that the mailbox keeps its size.
void BM_MailboxFileOneMore(benchmark::State& state) {
  Mailbox mailbox;
  if (!OpenSized(mailbox, state)) return;
  std::mt19937 random(11);
  for (auto _ : state) {
    const uint32_t parent = mailbox.Index().IdAt(random() % mailbox.Index().Count());
    uint32_t position = 0;
    const uint32_t id = mailbox.FileReply(SmallItem(), parent, "smtp|a@b", CodedText(), &position);
    if (id == kNoItem || !mailbox.SaveIndex()) state.SkipWithError("filing");
    state.PauseTiming();
    platform::RemoveFile(mailbox.PathOf(mailbox.Index().EntryAt(position)));
    mailbox.Index().RemoveAt(position);
    mailbox.Index().outboxQueue.pop_back();
    state.ResumeTiming();
  }
  mailbox.SaveIndex();
}

void BM_MailboxLoadItem(benchmark::State& state) {
  Mailbox mailbox;
  if (!OpenSized(mailbox, state)) return;
  std::mt19937 random(13);
  for (auto _ : state) {
    const uint32_t id = mailbox.Index().IdAt(random() % mailbox.Index().Count());
    if (mailbox.LoadItem(id, true) == nullptr) state.SkipWithError("load");
    mailbox.ReleaseItem();
  }
}

void BM_IndexSaveAtomic(benchmark::State& state) {
  Mailbox mailbox;
  if (!OpenSized(mailbox, state)) return;
  for (auto _ : state) {
    if (!mailbox.SaveIndex()) state.SkipWithError("save");
  }
}

// The original's save: truncate the index and write the image in place.
void BM_IndexSavePlain(benchmark::State& state) {
  Mailbox mailbox;
  std::string directory;
  if (!OpenSized(mailbox, state, &directory)) return;
  platform::File plain = platform::File::Open(directory + "plain.inv", platform::FileAccess::ReadWrite,
                                              platform::FileShare::Exclusive,
                                              platform::FileDisposition::CreateAlways);
  for (auto _ : state) {
    const std::string image = EncodeIndexImage(mailbox.NextId(), 0, mailbox.Index());
    plain.Seek(0, platform::SeekOrigin::Begin);
    plain.SetLength(0);
    plain.Write(image.data(), image.size());
  }
}

// The small mail as another mailbox sends it: stamped, answering nothing here.
std::string SentItem() {
  static const std::string path = [] {
    const std::string item = BenchDirectory() + "sent.qv6";
    fs::remove(item);
    fs::copy_file(SmallItem(), item);
    exchange::ExchangeFile file;
    exchange::ItemStamp stamp;
    stamp.itemId = 5;
    stamp.parentId = 0;
    if (!file.Open(item, false, false) || !stamp.Write(file) || !file.Close()) return std::string();
    return item;
  }();
  return path;
}

// One receive run of 200 items dropped into a shared directory; the items
// are taken out again outside the timing, so that the mailbox keeps its
// size. The counter is the cost of one item.
void BM_ReceiveFromSharedDirectory(benchmark::State& state) {
  constexpr uint32_t kReceived = 200;
  const std::string shared = BenchDirectory() + "shared/";
  fs::create_directories(shared);
  ThreadContext context;
  auto owned = std::make_unique<Mailbox>();
  Mailbox& mailbox = *owned;
  if (!OpenSized(mailbox, state)) return;
  context.mailbox = std::move(owned);
  AddFileInProtocol(&context, shared);
  for (auto _ : state) {
    state.PauseTiming();
    for (uint32_t i = 0; i < kReceived; ++i) {
      fs::copy_file(SentItem(), shared + "item" + std::to_string(i) + ".qv6");
    }
    const uint32_t before = mailbox.Index().Count();
    state.ResumeTiming();
    if (!ReceiveMails(&context) || mailbox.Index().Count() != before + kReceived) {
      state.SkipWithError("receiving");
    }
    state.PauseTiming();
    while (mailbox.Index().Count() > before) {
      const uint32_t last = mailbox.Index().Count() - 1;
      platform::RemoveFile(mailbox.PathOf(mailbox.Index().EntryAt(last)));
      mailbox.NameFreed(mailbox.Index().EntryAt(last).fileName);
      mailbox.Index().RemoveAt(last);
    }
    state.ResumeTiming();
  }
  mailbox.SaveIndex();
  state.counters["per_item"] = benchmark::Counter(
      kReceived, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_MailboxOpen)->Apply(Sizes)->Arg(50000);
BENCHMARK(BM_MailboxLookupById)->Apply(Sizes)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_MailboxFileOneMore)->Apply(Sizes)->Arg(50000);
BENCHMARK(BM_MailboxLoadItem)->Apply(Sizes);
BENCHMARK(BM_IndexSaveAtomic)->Apply(Sizes);
BENCHMARK(BM_IndexSavePlain)->Apply(Sizes);
BENCHMARK(BM_ReceiveFromSharedDirectory)->Apply(Sizes);

}  // namespace
