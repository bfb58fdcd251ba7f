// Loads libquorvel.so, leaves contexts open on several threads and unloads it: each is freed
// once (sanitizers tell), and a fresh load starts empty.
#include <gtest/gtest.h>

#include <thread>

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

// The host owns its log table, also the objects the library added; it frees them after.
TEST(LibraryUnload, TheHostDestroysItsLogTableAfterTheUnload) {
  auto table = std::make_unique<CxThreadObjects>();
  table->Add(1, std::make_unique<ThreadLogObject>());  // the host's template
  {
    auto library = DynamicLibrary::Load(QUORVEL_LIBRARY_PATH);
    ASSERT_TRUE(library);
    const auto initialize = Export<void (*)(CxThreadObjects*)>(*library, "MailsInitializexLogFile");
    ASSERT_TRUE(initialize);
    std::thread([&] { initialize(table.get()); }).join();
    initialize(table.get());
  }
  ASSERT_EQ(table->objects.size(), 3u);
  table->objects[2]->filePrefix = "host";  // the objects are the host's to use
  table.reset();
}

}  // namespace
