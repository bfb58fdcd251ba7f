// Event lines byte for byte, daily files, purging, and which threads log.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <sstream>
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
  char date[8];
  std::strftime(date, sizeof date, "%y%m%d", std::localtime(&now));
  return prefix + date + ".log";
}

std::vector<std::string> FileNames(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : platform::ListDirectory(directory, "*")) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

// The file's lines without their leading seconds, which must be those of now.
std::string WithoutTimes(const std::string& path, long before) {
  std::istringstream lines(ReadFile(path));
  std::string rest;
  for (std::string seconds, line; lines >> seconds && std::getline(lines, line);) {
    EXPECT_TRUE(std::stol(seconds) >= before && std::stol(seconds) <= std::time(nullptr));
    rest += line.substr(1) + "\n";
  }
  return rest;
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

TEST_F(LogFiles, LinesAppendEventsCarryFixedAndEventValuesThenKeyOne) {
  const long before = std::time(nullptr);
  LogLocation(535);
  LogException(77, std::runtime_error(std::string(300, 'x')));
  hostObject->fixedKeys = {5, 6};
  hostObject->fixedValues = {"fixed", "two words"};
  SetLogValue(3, "line\r\nbreak");
  SetLogValue(4, "a b");
  SetLogValue(3, "replaced\r\n value");
  SetLogNumber(8, -12);
  WriteLogEvent(100013);
  EXPECT_EQ(WithoutTimes(TodaysFile(), before),
            "7 200004  2=535 1=99\r\n7 200004  2=77 3=" + std::string(255, 'x') + " 1=99\r\n"
            "7 100013 5=fixed 6=\"two words\" 3=\"replaced value\" 4=\"a b\" 8=-12 1=99\r\n");
  EXPECT_TRUE(hostObject->eventKeys.empty() && hostObject->eventValues.empty());
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

// A thread the host never entered gets an object of its own with logging off; a keep count of
// zero writes nothing either.
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

// Apart from the test above: the warning goes to standard error here, to a message box on
// Windows (Wine leaves this test out).
TEST_F(LogFiles, BeyondTheMaximumAThreadIsWarnedAboutAndStillAdded) {
  table.maxThreads = 1;
  ::testing::internal::CaptureStderr();
  std::thread worker([] { SetLogValue(1, "x"); });
  worker.join();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: Too much threads in CxThreadObjects !\n");
  EXPECT_EQ(table.objects.size(), 2u);
}

// The objects the library adds are made by the table, that is by the host; a
// sorted table (identifiers ascending around the calling thread) is searched by halves.
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
  const uint32_t self = platform::CurrentThreadId();
  for (const uint32_t id : {0u, self, 0xFFFFFFF0u}) {
    table.Add(id, std::make_unique<ThreadLogObject>());
  }
  ASSERT_TRUE(table.sorted);
  EXPECT_EQ(FindOrAddThreadLog(table, self), table.objects[1].get());
  EXPECT_EQ(table.objects.size(), 3u);
  ThreadLogObject* added = FindOrAddThreadLog(table, 5);
  ASSERT_NE(dynamic_cast<HostObject*>(added), nullptr);
  EXPECT_EQ(std::tie(added->logDirectory, added->filePrefix, added->keepCount),
            std::make_tuple(platform::ExecutableDirectory(), "~", 0))
      << "logging stays off for threads the library meets";
  table.refuse = true;
  EXPECT_EQ(FindOrAddThreadLog(table, 6), nullptr);
  EXPECT_EQ(table.objects.size(), 4u) << "nothing is entered without an object";
}

TEST_F(LogFiles, AnUnwritableDirectoryFallsBackToTheExecutablesDirectory) {
  hostObject->logDirectory = dir / "missing/";
  hostObject->filePrefix = "quorvel-fallback-test-";
  const std::string fallback = platform::ExecutableDirectory() +
                               TodaysName("quorvel-fallback-test-");
  platform::RemoveFile(fallback);
  LogLocation(3);
  EXPECT_EQ(WithoutTimes(fallback, 0), "7 200004  2=3 1=99\r\n");
  EXPECT_FALSE(platform::IsExistingDirectory(dir / "missing"));
  platform::RemoveFile(fallback);
}

}  // namespace
}  // namespace quorvel
