// Loads libquorvel.so, leaves contexts open on several threads and unloads it: each is freed
// once (sanitizers tell), and a fresh load starts empty.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "platform/DynamicLibrary.h"
#include "quorvel/Handles.h"
#include "quorvel/ThreadLog.h"

namespace {

using quorvel::platform::DynamicLibrary;

// The export `name` of `library` as a function of type F.
template <typename F>
F Export(const DynamicLibrary& library, const char* name) {
  return reinterpret_cast<F>(library.Symbol(name));
}

TEST(LibraryUnload, FreesTheContextsLeftAndReloadsEmpty) {
  for (int round = 0; round < 3; ++round) {
    auto library = DynamicLibrary::Load(QUORVEL_LIBRARY_PATH);
    ASSERT_TRUE(library) << QUORVEL_LIBRARY_PATH;
    const auto addNew = Export<int32_t (*)(MutexHandle)>(*library, "MTAddNew");
    const auto mtRemove = Export<int32_t (*)()>(*library, "MTRemove");
    const auto useMapi = Export<bool (*)()>(*library, "MailsUseMAPI");
    ASSERT_TRUE(addNew && mtRemove && useMapi);
    EXPECT_EQ(mtRemove(), 0) << "a fresh load has no contexts (round " << round << ")";
    for (int i = 0; i < 4; ++i) {
      std::thread([&] {
        addNew(nullptr);
        useMapi();
      }).join();  // the thread ends, its context stays
    }
    addNew(nullptr);
    EXPECT_EQ(mtRemove(), 4);
    addNew(nullptr);
    library.reset();  // unload with five contexts open
  }
}

// MailsInitializexLogFile adds the calling thread's object with the host's template settings;
// the host owns its log table, also the objects the library added, and frees them after the unload.
TEST(LibraryUnload, LogObjectsCopyTheHostsTemplateAndStayTheHostsAfterTheUnload) {
  CxThreadObjects table;
  auto host = std::make_unique<ThreadLogObject>();  // the host's own, registered first
  host->logDirectory = "/var/log/host/", host->filePrefix = "host";
  host->keepCount = 5, host->sourceId = 12, host->valueOne = 34;
  host->fixedKeys = {5};
  host->fixedValues = {"host only"};
  table.Add(1, std::move(host));
  {
    auto library = DynamicLibrary::Load(QUORVEL_LIBRARY_PATH);
    ASSERT_TRUE(library);
    const auto initialize = Export<void (*)(CxThreadObjects*)>(*library, "MailsInitializexLogFile");
    ASSERT_TRUE(initialize);
    for (int i = 0; i < 3; ++i) std::thread([&] { initialize(&table); }).join();
    std::thread([&] {
      initialize(&table);
      initialize(&table);  // a second call finds the same object
    }).join();
    initialize(nullptr);
  }
  ASSERT_EQ(table.objects.size(), 5u);
  EXPECT_FALSE(table.sorted);
  const auto settings = [](const ThreadLogObject& o) {
    return std::tie(o.logDirectory, o.filePrefix, o.keepCount, o.sourceId, o.valueOne);
  };
  for (size_t i = 1; i < table.objects.size(); ++i) {
    ThreadLogObject& copy = *table.objects[i];
    EXPECT_EQ(settings(copy), settings(*table.objects[0]));
    EXPECT_TRUE(copy.fixedKeys.empty() && copy.fixedValues.empty()) << "they stay the host's";
    EXPECT_NE(table.threadIds[i], 1u);
    copy.filePrefix = "host";  // the objects are the host's to use
  }
}

}  // namespace
