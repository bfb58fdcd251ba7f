// Growable arrays as their elements change, and the parts of a WideString (the growth rule is
// the exchange scripts').
#include "quorvel/GrowableArray.h"

#include <gtest/gtest.h>

#include "quorvel/CodedTextArray.h"

namespace {

std::vector<uint32_t> Elements(const U32Array& array) {
  return std::vector<uint32_t>(array.Data(), array.Data() + array.Size());
}

TEST(GrowableArray, SizesInsertsRemovalsAndAddingAnElementOfItself) {
  U32Array array;
  for (uint32_t i = 1; i <= 5; ++i) array.Add(i * 11);
  array.SetSize(3);
  EXPECT_EQ(array.Capacity(), 8u) << "shrinking changes only the size";
  array.SetSize(6);
  EXPECT_EQ(Elements(array), (std::vector<uint32_t>{11, 22, 33, 0, 0, 0}))
      << "an element that comes back within the capacity is zero";
  array.SetSize(40);
  EXPECT_EQ(array[2], 33u) << "growing copies the old elements";
  EXPECT_EQ(array[39], 0u);
  array.SetSize(0);
  EXPECT_EQ(array.Capacity(), 0u) << "a size of 0 frees the memory";
  EXPECT_EQ(array.Data(), nullptr);
  array.Add(1);
  array.Add(3);
  array.InsertAt(1, 2);
  array.InsertAt(0, 0);
  array.RemoveAt(3);
  EXPECT_EQ(Elements(array), (std::vector<uint32_t>{0, 1, 2}));
  for (int i = 0; i < 10; ++i) array.Add(array[0]);  // the reference may move while growing
  EXPECT_EQ(array[12], 0u);
}

TEST(WideString, PartsAndTheSharedEmptyString) {
  const WideString text(u"exchange");
  const std::pair<WideString, std::u16string_view> parts[] = {
      {text.Mid(2, 4), u"chan"}, {text.Mid(5), u"nge"},      {text.Left(2), u"ex"},
      {text.Right(3), u"nge"},   {text.Right(99), u"exchange"}};
  for (const auto& [part, expected] : parts) EXPECT_EQ(part.View(), expected);
  EXPECT_EQ(text.Mid(8).Capacity(), WideString::kSharedCapacity) << "past the end: empty";
  WideString grown;
  grown.Resize(4);
  EXPECT_EQ(grown.Capacity(), 5) << "n + 1 code units";
  grown.Resize(0);
  EXPECT_EQ(grown.Capacity(), WideString::kSharedCapacity);
}

}  // namespace
