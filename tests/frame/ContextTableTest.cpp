// Reference counting of contexts shared by several thread identifiers.
#include "frame/ContextTable.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvel {
namespace {

TEST(ContextTable, AJoinedWorkerKeepsTheContextAliveUntilItLeaves) {
  ContextTable table;
  const int before = ThreadContext::LiveCount();
  table.AddNew(1, nullptr);
  ThreadContext* context = table.Find(1);
  table.Join(context, 2);
  EXPECT_EQ(context->referenceCount, 2u);
  EXPECT_EQ(table.Find(2), context);
  table.Join(context, 2);
  EXPECT_EQ(context->referenceCount, 2u) << "joining twice under one identifier counts once";

  EXPECT_EQ(table.Remove(1), 1) << "the host leaves first";
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  EXPECT_EQ(table.Find(2), context);
  EXPECT_EQ(table.Remove(2), 0) << "the worker's leaving destroys it";
  EXPECT_EQ(ThreadContext::LiveCount(), before);
}

TEST(ContextTable, JoiningUnderTheOwnersIdentifierChangesNothing) {
  auto table = std::make_unique<ContextTable>();
  const int before = ThreadContext::LiveCount();
  table->AddNew(1, nullptr);
  table->Join(table->Find(1), 1);
  if (ThreadContext::LiveCount() != before + 1) {
    static_cast<void>(table.release());  // it holds a freed context: never destroy it
    FAIL() << "the join freed the context it joined";
  }
  EXPECT_EQ(table->Find(1)->referenceCount, 1u);
}

TEST(ContextTable, JoiningUnderAStaleIdentifierReleasesWhatItHeld) {
  ContextTable table;
  const int before = ThreadContext::LiveCount();
  table.AddNew(1, nullptr);  // a thread that ended without removing its context
  table.AddNew(2, nullptr);
  table.Join(table.Find(2), 1);  // a worker that got identifier 1 again
  EXPECT_EQ(ThreadContext::LiveCount(), before + 1);
  EXPECT_EQ(table.Find(2)->referenceCount, 2u);
  EXPECT_EQ(table.Remove(1), 1);
  EXPECT_EQ(table.Remove(2), 0);
  EXPECT_EQ(ThreadContext::LiveCount(), before);
}

TEST(ContextTable, DestroyAllFreesAContextEnteredTwiceOnce) {
  const int before = ThreadContext::LiveCount();
  ContextTable table;
  table.AddNew(1, nullptr);
  table.Join(table.Find(1), 2);
  table.AddNew(3, nullptr);
  EXPECT_EQ(ThreadContext::LiveCount(), before + 2);
  table.DestroyAll();
  EXPECT_EQ(ThreadContext::LiveCount(), before);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Find(2), nullptr);
}

}  // namespace
}  // namespace quorvel
