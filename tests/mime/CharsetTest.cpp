#include "mime/Charset.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

TEST(CharsetForCodePage, FollowsTheTableAndFallsBackToLatin1) {
  EXPECT_EQ(std::string(CharsetNameForCodePage(1254)), "iso-8859-9");
  EXPECT_EQ(std::string(CharsetNameForCodePage(1255)), "iso-8859-8");
  EXPECT_EQ(std::string(CharsetNameForCodePage(1257)), "iso-8859-4");
  EXPECT_EQ(std::string(CharsetNameForCodePage(1251)), "iso-8859-5");
  EXPECT_EQ(std::string(CharsetNameForCodePage(932)), "iso-2022-JP");
  EXPECT_EQ(std::string(CharsetNameForCodePage(950)), "BIG5");
  EXPECT_EQ(std::string(CharsetNameForCodePage(437)), "iso-8859-1");
  EXPECT_EQ(std::string(CharsetNameForCodePage(65001)), "iso-8859-1");
  EXPECT_EQ(std::string(CharsetNameForCodePage(-1)), "iso-8859-1");
}

}  // namespace
}  // namespace quorvel
