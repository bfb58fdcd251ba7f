// Event lines byte for byte, daily files, purging, and which threads log.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <thread>

#include "TempDirectory.h"
#include "frame/DailyLogFile.h"
#include "frame/LogEvents.h"
#include "frame/LogTable.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Today's file name, worked out independently of the library.
std::string TodaysName(const std::string& prefix) {
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  char date[40];
  std::snprintf(date, sizeof date, "%02d%02d%02d", local.tm_year - 100, local.tm_mon + 1,
                local.tm_mday);
  return prefix + date + ".log";
}

std::vector<std::string> FileNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : platform::ListDirectory(directory, "*")) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

// Splits "<seconds> <rest>\r\n" and checks the seconds are those of now.
std::string WithoutTime(const std::string& line, long before) {
  const size_t blank = line.find(' ');
  EXPECT_NE(blank, std::string::npos) << line;
  const long seconds = std::stol(line.substr(0, blank));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, static_cast<long>(std::time(nullptr)));
  return line.substr(blank + 1);
}

class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    auto host = std::make_unique<ThreadLogObject>();
    host->logDirectory = dir.path();
    host->filePrefix = "qv";
    host->keepCount = 3;
    host->sourceId = 7;
    host->valueOne = 99;
    hostObject = host.get();
    table.Add(platform::CurrentThreadId(), std::move(host));
    InitializeLogTable(&table);
  }
  void TearDown() override { InitializeLogTable(nullptr); }

  std::string TodaysFile() const { return dir / TodaysName("qv"); }

  TempDirectory dir;
  CxThreadObjects table;
  ThreadLogObject* hostObject = nullptr;
};

TEST_F(LogFiles, AnEventLineCarriesFixedAndEventValuesThenKeyOne) {
  hostObject->fixedKeys = {5, 6};
  hostObject->fixedValues = {"fixed", "two words"};
  const long before = std::time(nullptr);
  SetLogValue(3, "line\r\nbreak");
  SetLogValue(4, "a b");
  SetLogValue(3, "replaced\r\n value");
  SetLogNumber(8, -12);
  WriteLogEvent(100013);
  EXPECT_EQ(WithoutTime(ReadFile(TodaysFile()), before),
            "7 100013 5=fixed 6=\"two words\" 3=\"replaced value\" 4=\"a b\" 8=-12 1=99\r\n");
  EXPECT_TRUE(hostObject->eventKeys.empty());
  EXPECT_TRUE(hostObject->eventValues.empty());
}

TEST_F(LogFiles, LinesAppendAndLocationsUseEvent200004) {
  const long before = std::time(nullptr);
  LogLocation(535);
  LogException(77, std::runtime_error(std::string(300, 'x')));
  const std::string text = ReadFile(TodaysFile());
  const size_t firstEnd = text.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_EQ(WithoutTime(text.substr(0, firstEnd + 2), before), "7 200004  2=535 1=99\r\n");
  EXPECT_EQ(WithoutTime(text.substr(firstEnd + 2), before),
            "7 200004  2=77 3=" + std::string(255, 'x') + " 1=99\r\n");
}

TEST(LogFormat, AnEmptyEventEndsWithTwoBlanks) {
  ThreadLogObject object;
  EXPECT_EQ(FormatLogEvent(object, 200004), "0 200004  ");
  object.sourceId = 65535;
  object.eventKeys = {0x80000000u};
  object.eventValues = {""};
  EXPECT_EQ(FormatLogEvent(object, 0xFFFFFFFFu), "65535 -1  -2147483648=")
      << "keys and codes print as 32-bit signed numbers";
}

// Any six characters after the prefix make a daily file.
TEST_F(LogFiles, TheFirstLineOfADayKeepsTheNewestDailyFiles) {
  for (const char* name : {"qv201201.log", "qv201202.log", "qv201203.log", "qv201204.log",
                           "qv201205.log", "qv1234.log", "QV201101.LOG", "other201201.log",
                           "qv0abcde.log", "qv0abcd.log"}) {
    WriteFile(dir / name, "old\r\n");
  }
  ASSERT_TRUE(platform::MakeDirectory(dir / "qv201100.log"));
  LogLocation(1);
  EXPECT_EQ(FileNames(dir.path()),
            (std::vector<std::string>{"other201201.log", "qv0abcd.log", "qv1234.log",
                                      "qv201100.log", "qv201204.log", "qv201205.log",
                                      TodaysName("qv")}));
  // Later lines of the same day purge nothing.
  WriteFile(dir / "qv201203.log", "back\r\n");
  LogLocation(2);
  EXPECT_TRUE(platform::IsExistingFile(dir / "qv201203.log"));
}

TEST_F(LogFiles, AThreadThatNeverInitialisedOrAKeepCountOfZeroWritesNothing) {
  std::thread worker([] {
    SetLogValue(3, "from the worker");
    WriteLogEvent(100013);
  });
  worker.join();
  ASSERT_EQ(table.objects.size(), 2u) << "the worker got an object of its own, logging off";
  EXPECT_FALSE(table.sorted);
  EXPECT_TRUE(FileNames(dir.path()).empty());
  hostObject->keepCount = 0;
  WriteFile(TodaysFile(), "old\r\n");  // no first line of the day, no purge to hide a line
  LogLocation(1);
  EXPECT_EQ(ReadFile(TodaysFile()), "old\r\n");
}

TEST_F(LogFiles, BeyondTheMaximumAThreadIsWarnedAboutAndStillAdded) {
  table.maxThreads = 1;
  ::testing::internal::CaptureStderr();
  std::thread worker([] { SetLogValue(1, "x"); });
  worker.join();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: Too much threads in CxThreadObjects !\n");
  EXPECT_EQ(table.objects.size(), 2u);
}

TEST_F(LogFiles, SortedTablesAreSearchedByHalves) {
  // The host keeps its identifiers ascending around the calling thread.
  CxThreadObjects sorted;
  const uint32_t self = platform::CurrentThreadId();
  sorted.Add(0, std::make_unique<ThreadLogObject>());
  sorted.Add(self, std::make_unique<ThreadLogObject>());
  sorted.Add(0xFFFFFFF0u, std::make_unique<ThreadLogObject>());
  ASSERT_TRUE(sorted.sorted);
  EXPECT_EQ(FindOrAddThreadLog(sorted, self), sorted.objects[1].get());
  EXPECT_EQ(sorted.objects.size(), 3u);
}

// The objects the library adds are made by the table, that is by the host.
TEST(LogTable, ObjectsForNewThreadsComeFromTheTablesFactory) {
  struct HostObject : ThreadLogObject {};
  struct HostTable : CxThreadObjects {
    bool refuse = false;
    std::unique_ptr<ThreadLogObject> NewObject() const override {
      if (refuse) return nullptr;
      return std::make_unique<HostObject>();
    }
  };
  HostTable table;
  ThreadLogObject* added = FindOrAddThreadLog(table, 5);
  ASSERT_NE(added, nullptr);
  EXPECT_NE(dynamic_cast<HostObject*>(added), nullptr);
  EXPECT_EQ(added->logDirectory, platform::ExecutableDirectory());
  EXPECT_EQ(added->filePrefix, "~");
  EXPECT_EQ(added->keepCount, 0) << "logging stays off for threads the library meets";
  table.refuse = true;
  EXPECT_EQ(FindOrAddThreadLog(table, 6), nullptr);
  EXPECT_EQ(table.objects.size(), 1u) << "nothing is entered without an object";
}

TEST_F(LogFiles, AnUnwritableDirectoryFallsBackToTheExecutablesDirectory) {
  hostObject->logDirectory = dir / "missing/";
  hostObject->filePrefix = "quorvel-fallback-test-";
  const std::string fallback = platform::ExecutableDirectory() +
                               TodaysName("quorvel-fallback-test-");
  platform::RemoveFile(fallback);
  LogLocation(3);
  EXPECT_EQ(WithoutTime(ReadFile(fallback), 0), "7 200004  2=3 1=99\r\n");
  EXPECT_FALSE(platform::IsExistingDirectory(dir / "missing"));
  platform::RemoveFile(fallback);
}

TEST(LogWithoutTable, NothingHappens) {
  InitializeLogTable(nullptr);
  EXPECT_EQ(CallingThreadLog(), nullptr);
  SetLogValue(1, "x");
  WriteLogEvent(1);
  LogLocation(1);
}

}  // namespace
}  // namespace quorvel
