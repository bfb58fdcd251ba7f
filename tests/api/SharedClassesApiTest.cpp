// The classes hosts share with the library are header-only: a host that links
// nothing but libquorvel.so builds, copies and frees them, and hands them to
// the exports. MailsInitializexLogFile finds or adds the calling thread's
// object in the host's log table with the host's template settings.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <tuple>

#include "quorvel/CodedTextArray.h"
#include "quorvel/quorvel.h"

namespace {

TEST(SharedClasses, AHostBuildsCopiesAndPassesThem) {
  CodedTextArray names;
  names.Add(CodedText(1252, WideString(u"Pupil P")));
  names.Adopt(std::make_unique<CodedText>(1250, WideString(u"\u0158eh\u00E1k")));
  const CodedTextArray copy = names;
  names.RemoveAt(0);
  ASSERT_EQ(copy.Size(), 2u) << "the copy is deep";
  EXPECT_EQ(copy[1].text.Right(4).View(), u"eh\u00E1k");
  CodedTextArray assigned;
  assigned = names;
  const CodedTextArray moved = std::move(assigned);
  ASSERT_EQ(moved.Size(), 1u);
  EXPECT_EQ(moved[0], copy[1]);
  EXPECT_TRUE(assigned.IsEmpty());
  EXPECT_EQ(CodedText::Default().codePage, 1252);

  std::thread host([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    EXPECT_TRUE(MailsUseSMTP_POP("127.0.0.1", 110, "pupil", "pw", "127.0.0.1", 25, &copy[0],
                                 nullptr, 0));
    MTRemove();
  });
  host.join();
}

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
    const ThreadLogObject &copy = *table.objects[i], &host = *table.objects[0];
    const auto settings = [](const ThreadLogObject& o) {
      return std::tie(o.logDirectory, o.filePrefix, o.keepCount, o.sourceId, o.valueOne);
    };
    EXPECT_EQ(settings(copy), settings(host));
    EXPECT_TRUE(copy.fixedKeys.empty() && copy.fixedValues.empty()) << "they stay the host's";
    EXPECT_NE(table.threadIds[i], 1u);
  }
  MailsInitializexLogFile(nullptr);
}

}  // namespace
