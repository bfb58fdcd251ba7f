// The growth rule that every growable array of the exchange layer shares, and
// the parts of a WideString. The owning list of CodedText is asserted where
// hosts use it (SharedClassesApiTest).
#include "quorvel/GrowableArray.h"

#include <gtest/gtest.h>

#include "quorvel/CodedTextArray.h"

namespace {

TEST(GrowthRule, AutomaticIncrementIsAnEighthOfTheSizeClampedTo4Through1024) {
  U32Array array;
  array.SetSize(100);
  EXPECT_EQ(array.Capacity(), 100u) << "the first growth takes exactly what is asked";
  array.SetSize(101);
  EXPECT_EQ(array.Capacity(), 112u) << "100 + 100 / 8";

  U32Array small;
  small.SetSize(1);
  EXPECT_EQ(small.Capacity(), 4u) << "at least 4 are added";
  small.SetSize(5);
  EXPECT_EQ(small.Capacity(), 8u);

  U8Array large;
  large.SetSize(16000);
  large.SetSize(16001);
  EXPECT_EQ(large.Capacity(), 17024u) << "at most 1024 are added";

  U32Array jump;
  jump.SetSize(10);
  jump.SetSize(500);
  EXPECT_EQ(jump.Capacity(), 500u) << "the asked size wins over a smaller increment";
}

TEST(GrowthRule, AGrowByReplacesTheAutomaticIncrement) {
  U32Array array(20);
  array.SetSize(1);
  EXPECT_EQ(array.Capacity(), 20u);
  array.SetSize(21);
  EXPECT_EQ(array.Capacity(), 40u);
}

TEST(GrowthRule, NewElementsAreZeroOldOnesKeptShrinkingKeepsTheMemory) {
  U32Array array;
  for (uint32_t i = 1; i <= 5; ++i) array.Add(i * 11);
  array.SetSize(3);
  EXPECT_EQ(array.Capacity(), 8u) << "shrinking changes only the size";
  array.SetSize(6);
  EXPECT_EQ(array.Size(), 6u);
  EXPECT_EQ(array[2], 33u);
  EXPECT_EQ(array[3], 0u) << "an element that comes back within the capacity is zero";
  EXPECT_EQ(array[5], 0u);
  array.SetSize(40);
  EXPECT_EQ(array[0], 11u) << "growing copies the old elements";
  EXPECT_EQ(array[39], 0u);
  array.SetSize(0);
  EXPECT_EQ(array.Capacity(), 0u) << "a size of 0 frees the memory";
  EXPECT_EQ(array.Data(), nullptr);
}

TEST(GrowableArray, InsertRemoveAndAddingAnElementOfItself) {
  U32Array array;
  array.Add(1);
  array.Add(3);
  array.InsertAt(1, 2);
  array.InsertAt(0, 0);
  array.RemoveAt(3);
  ASSERT_EQ(array.Size(), 3u);
  EXPECT_EQ(array[0], 0u);
  EXPECT_EQ(array[1], 1u);
  EXPECT_EQ(array[2], 2u);
  for (int i = 0; i < 10; ++i) array.Add(array[0]);  // the reference may move while growing
  EXPECT_EQ(array[12], 0u);
}

TEST(WideString, PartsAndTheSharedEmptyString) {
  const WideString text(u"exchange");
  EXPECT_EQ(text.Mid(2, 4).View(), u"chan");
  EXPECT_EQ(text.Mid(5).View(), u"nge");
  EXPECT_EQ(text.Mid(8).Capacity(), WideString::kSharedCapacity) << "past the end: empty";
  EXPECT_EQ(text.Left(2).View(), u"ex");
  EXPECT_EQ(text.Right(3).View(), u"nge");
  EXPECT_EQ(text.Right(99).View(), u"exchange");
  WideString grown;
  grown.Resize(4);
  EXPECT_EQ(grown.Capacity(), 5) << "n + 1 code units";
  grown.Resize(0);
  EXPECT_EQ(grown.Capacity(), WideString::kSharedCapacity);
}

}  // namespace
