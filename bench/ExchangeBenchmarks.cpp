// Packing against the bzip2 command on the same 20 MB text, measured side by
// side in one run; the CRC-32 over 100 MB; opening a packed item.
//
// The text is the first 20 MB of the plain-text documentation under
// /usr/share (licences, read-me files, manuals in text and HTML, Perl pods),
// concatenated in name order: real prose, nothing repeated.
#include <benchmark/benchmark.h>
#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "exchange/Crc32.h"
#include "exchange/ExchangeFile.h"
#include "exchange/Packing.h"
#include "platform/FileSystem.h"
#include "TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using namespace quorvel::exchange;

constexpr size_t kCorpusSize = 20 * 1024 * 1024;
constexpr size_t kCrcSize = 100 * 1024 * 1024;

// A fresh directory of this run's own, removed when the program ends.
std::string WorkDirectory() {
  static const quorvel::testing::TempDirectory directory("quorvel-bench-");
  return directory.path();
}

bool IsTextName(const fs::path& path) {
  const std::string name = path.filename().string();
  const std::string extension = path.extension().string();
  return extension == ".txt" || extension == ".html" || extension == ".md" || extension == ".pod" ||
         extension == ".rst" || name == "copyright" || name.rfind("README", 0) == 0;
}

// Builds the corpus file once per run and answers its path.
std::string Corpus() {
  static const std::string path = [] {
    const std::string corpus = WorkDirectory() + "corpus.txt";
    std::vector<fs::path> files;
    for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc", "/usr/share/perl"}) {
      std::error_code error;
      for (auto it = fs::recursive_directory_iterator(root, error);
           !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file() && IsTextName(it->path())) files.push_back(it->path());
      }
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (text.size() >= kCorpusSize) break;
    }
    text.resize(std::min(text.size(), kCorpusSize));
    std::ofstream(corpus, std::ios::binary) << text;
    return corpus;
  }();
  return path;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

void SetCorpusCounters(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(quorvel::platform::FileLength(Corpus()).value_or(0)));
}

void BM_PackFile(benchmark::State& state) {
  const std::string source = Corpus();
  for (auto _ : state) {
    if (!PackFile(source, WorkDirectory() + "packed.qv6", kPackingBuffer)) state.SkipWithError("pack");
  }
  SetCorpusCounters(state);
}

void BM_Bzip2CommandCompress(benchmark::State& state) {
  const std::string source = Corpus();
  for (auto _ : state) {
    if (Shell("bzip2 -5 -c '" + source + "' > '" + WorkDirectory() + "command.bz2'") != 0) {
      state.SkipWithError("bzip2 -5");
    }
  }
  SetCorpusCounters(state);
}

void BM_UnpackFile(benchmark::State& state) {
  PackFile(Corpus(), WorkDirectory() + "packed.qv6", kPackingBuffer);
  for (auto _ : state) {
    if (!UnpackFile(WorkDirectory() + "packed.qv6", WorkDirectory() + "unpacked", kPackingBuffer)) {
      state.SkipWithError("unpack");
    }
  }
  SetCorpusCounters(state);
}

void BM_Bzip2CommandDecompress(benchmark::State& state) {
  Shell("bzip2 -5 -c '" + Corpus() + "' > '" + WorkDirectory() + "command.bz2'");
  for (auto _ : state) {
    if (Shell("bzip2 -d -c '" + WorkDirectory() + "command.bz2' > '" + WorkDirectory() + "decoded'") != 0) {
      state.SkipWithError("bzip2 -d");
    }
  }
  SetCorpusCounters(state);
}

const std::string& CrcInput() {
  static const std::string data = [] {
    std::string bytes(kCrcSize, '\0');
    std::mt19937_64 random(1);
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const uint64_t word = random();
      std::memcpy(bytes.data() + i, &word, 8);
    }
    return bytes;
  }();
  return data;
}

void BM_Crc32(benchmark::State& state) {
  const std::string& data = CrcInput();
  for (auto _ : state) benchmark::DoNotOptimize(Crc32::Of(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Crc32ByteWise(benchmark::State& state) {
  const std::string& data = CrcInput();
  for (auto _ : state) benchmark::DoNotOptimize(UpdateCrc32ByteWise(0, data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// A pupil mail of about 200 KB with its text and a few attachments.
std::string SampleItem() {
  static const std::string path = [] {
    const std::string item = WorkDirectory() + "item.qv6";
    quorvel::platform::RemoveFile(item);
    const std::string attachment = WorkDirectory() + "attachment.txt";
    std::ofstream(attachment, std::ios::binary) << std::string(60000, 'a');
    ExchangeFile file;
    file.Open(item, false, true);
    file.SetKind(20);
    file.CreateBlock(10200);
    for (uint16_t tag = 10201; tag < 10260; ++tag) file.PutWide(tag, WideString(u"a line of the pupil's text"));
    file.LeaveBlock();
    file.CreateBlock(10600);
    for (uint16_t i = 0; i < 3; ++i) file.PutFile(10601 + i, attachment, CodedText(1252, WideString(u"a.txt")));
    file.Close();
    return item;
  }();
  return path;
}

// The floor under opening an item: libbz2 alone unpacking the same file
// from memory into memory, without reading, parsing or checking anything.
void BM_Bzip2DecompressItem(benchmark::State& state) {
  std::ifstream in(SampleItem(), std::ios::binary);
  std::string packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<char> unpacked(16 * 1024 * 1024);
  for (auto _ : state) {
    auto length = static_cast<unsigned>(unpacked.size());
    if (BZ2_bzBuffToBuffDecompress(unpacked.data(), &length, packed.data(),
                                   static_cast<unsigned>(packed.size()), 0, 0) != BZ_OK) {
      state.SkipWithError("BZ2_bzBuffToBuffDecompress");
    }
  }
}

void BM_OpenPackedItem(benchmark::State& state) {
  const std::string item = SampleItem();
  ExchangeFile file;
  for (auto _ : state) {
    if (!file.Open(item, true, false)) state.SkipWithError("open");
    benchmark::DoNotOptimize(file.Kind());
    file.Close();
  }
}

BENCHMARK(BM_PackFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Bzip2CommandCompress)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UnpackFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Bzip2CommandDecompress)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32ByteWise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bzip2DecompressItem)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenPackedItem)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
