#include "mail/DerivedName.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(DerivedName, NameFirstThenTheLocalPartWithBlanksForDots) {
  EXPECT_EQ(DerivedName("Ada Lovelace", "ada@example.test"), "Ada Lovelace");
  EXPECT_EQ(DerivedName("", "ada.b.lovelace@example.test"), "ada b lovelace");
  EXPECT_EQ(DerivedName("", "a.b@c@d.test"), "a b") << "up to the first @";
  EXPECT_EQ(DerivedName("", "no.at.sign"), "no.at.sign");
  EXPECT_EQ(DerivedName("", ""), "");
  EXPECT_EQ(DerivedName("", "@example.test"), "");
}

}  // namespace
}  // namespace quorvel
