// MailsInitializexLogFile through the shared library: the calling thread's
// object is found or added with the host's template settings.
#include <gtest/gtest.h>

#include <thread>

#include "quorvel/quorvel.h"

namespace {

std::unique_ptr<ThreadLogObject> Template() {
  auto object = std::make_unique<ThreadLogObject>();
  object->logDirectory = "/var/log/host/";
  object->filePrefix = "host";
  object->keepCount = 5;
  object->sourceId = 12;
  object->valueOne = 34;
  object->fixedKeys = {5};
  object->fixedValues = {"host only"};
  return object;
}

TEST(InitializeLogFile, EveryCallingThreadGetsACopyOfTheTemplate) {
  CxThreadObjects table;
  table.Add(1, Template());  // the host's own thread, registered first
  for (int i = 0; i < 3; ++i) {
    std::thread([&] { MailsInitializexLogFile(&table); }).join();
  }
  std::thread([&] {
    MailsInitializexLogFile(&table);
    MailsInitializexLogFile(&table);  // a second call finds the same object
  }).join();
  ASSERT_EQ(table.objects.size(), 5u);
  EXPECT_FALSE(table.sorted);
  for (size_t i = 1; i < table.objects.size(); ++i) {
    const ThreadLogObject& copy = *table.objects[i];
    EXPECT_EQ(copy.logDirectory, "/var/log/host/");
    EXPECT_EQ(copy.filePrefix, "host");
    EXPECT_EQ(copy.keepCount, 5);
    EXPECT_EQ(copy.sourceId, 12);
    EXPECT_EQ(copy.valueOne, 34u);
    EXPECT_TRUE(copy.fixedKeys.empty() && copy.fixedValues.empty()) << "they stay the host's";
    EXPECT_NE(table.threadIds[i], 1u);
  }
  MailsInitializexLogFile(nullptr);
}

}  // namespace
