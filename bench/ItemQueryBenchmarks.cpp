// The item queries and removal on mailboxes of 1 000 and 10 000 items:
// walking every item with its parent (ItemAtIndex + ParentIndexOf, what the
// exports TessalyGetItemAtIndex and TessalyGetParentIndex run), 1 000 single
// removals one after another (each with its index save), and one index save
// alone for comparison. Threads are three deep: each root has two replies,
// the first with a reply of its own; one more shape puts every item under
// one root, where a walk back over earlier siblings would be quadratic.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "exchange/ExchangeFile.h"
#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "frame/ThreadContext.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"
#include "mailbox/Mailbox.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using namespace quorvel;

enum class Shape { Threads, OneThread };

// A fresh mailbox of `count` items, owned by a context, in a directory of
// its own that goes away with it.
class BenchMailbox {
 public:
  BenchMailbox(uint32_t count, Shape shape) {
    directory_ = platform::TemporaryDirectory() + "quorvel-bench-mailbox-" +
                 std::to_string(std::random_device()()) + "/";
    fs::create_directories(directory_);
    const std::string item = directory_ + "item.src";
    WriteItem(item);
    auto mailbox = std::make_unique<Mailbox>();
    mailbox->OpenIndex(directory_ + "mailbox/", false, 1, 0);
    uint32_t root = 0;
    uint32_t firstReply = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t parent = 0;
      if (shape == Shape::OneThread) {
        parent = i == 0 ? 0 : 1;
      } else if (i % 4 == 1 || i % 4 == 3) {
        parent = root;
      } else if (i % 4 == 2) {
        parent = firstReply;
      }
      const uint32_t id = mailbox->FileItem(item, parent, nullptr, nullptr, nullptr, nullptr, true);
      if (i % 4 == 0) root = id;
      if (i % 4 == 1) firstReply = id;
    }
    mailbox->SaveIndex();
    mailbox_ = mailbox.get();
    context_.mailbox = std::move(mailbox);
  }
  BenchMailbox(const BenchMailbox&) = delete;
  BenchMailbox& operator=(const BenchMailbox&) = delete;
  ~BenchMailbox() {
    context_.mailbox.reset();
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  ThreadContext* Context() { return &context_; }
  Mailbox& Box() { return *mailbox_; }

 private:
  static void WriteItem(const std::string& path) {
    exchange::ExchangeFile file;
    file.Open(path, false, true);
    file.SetKind(exchange::kKindPupilMail);
    exchange::PupilMessage message;
    message.text = WideString(u"a short pupil mail");
    message.Write(file);
    file.Close();
  }

  std::string directory_;
  ThreadContext context_;
  Mailbox* mailbox_ = nullptr;
};

void WalkAllItems(benchmark::State& state, Shape shape) {
  BenchMailbox mailbox(static_cast<uint32_t>(state.range(0)), shape);
  ThreadContext* context = mailbox.Context();
  for (auto _ : state) {
    int64_t sum = 0;
    for (uint32_t i = 0;; ++i) {
      const IndexEntry* entry = ItemAtIndex(context, i);
      if (entry == nullptr) break;
      sum += ParentIndexOf(context, mailbox.Box().Index().IdAt(i));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_WalkThreads(benchmark::State& state) { WalkAllItems(state, Shape::Threads); }
void BM_WalkOneThread(benchmark::State& state) { WalkAllItems(state, Shape::OneThread); }

// 1 000 removals of single items (leaves), each saving the index.
void BM_RemoveSingleItems(benchmark::State& state) {
  constexpr int kRemovals = 1000;
  const auto count = static_cast<uint32_t>(state.range(0));
  // Built once: the benchmark runs exactly one iteration.
  BenchMailbox mailbox(count + kRemovals, Shape::Threads);
  std::mt19937 random(7);
  for (auto _ : state) {
    for (int n = 0; n < kRemovals; ++n) {
      MailboxIndex& index = mailbox.Box().Index();
      uint32_t at = random() % index.Count();
      while (index.SubtreeEnd(at) != at + 1) ++at;  // the next leaf
      RemoveMailAtIndex(mailbox.Context(), at);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRemovals);
}

void BM_SaveIndex(benchmark::State& state) {
  BenchMailbox mailbox(static_cast<uint32_t>(state.range(0)), Shape::Threads);
  for (auto _ : state) benchmark::DoNotOptimize(mailbox.Box().SaveIndex());
}

BENCHMARK(BM_WalkThreads)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkOneThread)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoveSingleItems)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveIndex)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
