// Loads libquorvel.so, leaves contexts open on several threads and unloads it: each is freed
// once (sanitizers tell), and a fresh load starts empty.
#include <gtest/gtest.h>

#include <thread>

#include "platform/DynamicLibrary.h"
#include "quorvel/Handles.h"
#include "quorvel/ThreadLog.h"

namespace {

using quorvel::platform::DynamicLibrary;

struct Exports {
  explicit Exports(const DynamicLibrary& library)
      : addNew(reinterpret_cast<int32_t (*)(MutexHandle)>(library.Symbol("MTAddNew"))),
        remove(reinterpret_cast<int32_t (*)()>(library.Symbol("MTRemove"))),
        useMapi(reinterpret_cast<bool (*)()>(library.Symbol("MailsUseMAPI"))) {}
  int32_t (*addNew)(MutexHandle);
  int32_t (*remove)();
  bool (*useMapi)();
};

TEST(LibraryUnload, FreesTheContextsLeftAndReloadsEmpty) {
  for (int round = 0; round < 3; ++round) {
    auto library = DynamicLibrary::Load(QUORVEL_LIBRARY_PATH);
    ASSERT_TRUE(library) << QUORVEL_LIBRARY_PATH;
    const Exports exports(*library);
    ASSERT_TRUE(exports.addNew && exports.remove && exports.useMapi);
    EXPECT_EQ(exports.remove(), 0) << "a fresh load has no contexts (round " << round << ")";
    for (int i = 0; i < 4; ++i) {
      std::thread([&] {
        exports.addNew(nullptr);
        exports.useMapi();
      }).join();  // the thread ends, its context stays
    }
    exports.addNew(nullptr);
    EXPECT_EQ(exports.remove(), 4);
    exports.addNew(nullptr);
    library.reset();  // unload with five contexts open
  }
}

// The host owns its log table, also the objects the library added; it frees them after.
TEST(LibraryUnload, TheHostDestroysItsLogTableAfterTheUnload) {
  auto table = std::make_unique<CxThreadObjects>();
  table->Add(1, std::make_unique<ThreadLogObject>());  // the host's template
  {
    auto library = DynamicLibrary::Load(QUORVEL_LIBRARY_PATH);
    ASSERT_TRUE(library);
    const auto initialize =
        reinterpret_cast<void (*)(CxThreadObjects*)>(library->Symbol("MailsInitializexLogFile"));
    ASSERT_TRUE(initialize);
    std::thread([&] { initialize(table.get()); }).join();
    initialize(table.get());
  }
  ASSERT_EQ(table->objects.size(), 3u);
  table->objects[2]->filePrefix = "host";  // the objects are the host's to use
  table.reset();
}

}  // namespace
