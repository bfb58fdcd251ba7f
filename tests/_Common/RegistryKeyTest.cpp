// Walking the registry with RegistryKey over the in-memory registry.
#include "_Common/Classes/Registry/RegistryKey.h"

#include <gtest/gtest.h>

#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using platform::RegistryRoot;

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearRegistry();
    platform::SetRegistryString(RegistryRoot::CurrentUser, "Software\\Vendor\\App\\Settings",
                                "Colour", "blue");
    platform::SetRegistryString(RegistryRoot::CurrentUser, "Software\\Vendor\\App", "", "default");
    platform::SetRegistryString(RegistryRoot::CurrentUser, "Software\\Vendor\\Zeta", "x", "1");
    platform::SetRegistryString(RegistryRoot::CurrentUser, "Software\\Vendor\\alpha", "x", "1");
  }
  void TearDown() override { platform::ClearRegistry(); }
};

TEST_F(RegistryKeyTest, WalksDownAndUpAndKeepsItsPlaceOnFailure) {
  RegistryKey key(RegistryRoot::LocalMachine, platform::kRegistryRead);
  EXPECT_EQ(key.rootName(), "HKEY_LOCAL_MACHINE\\");
  ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, "SOFTWARE\\vendor\\", platform::kRegistryRead));
  EXPECT_EQ(key.rootName(), "HKEY_CURRENT_USER\\");
  EXPECT_EQ(key.path(), "SOFTWARE\\vendor") << "kept without the trailing backslash";

  ASSERT_TRUE(key.OpenSubKey("App\\Settings\\"));
  EXPECT_EQ(key.path(), "SOFTWARE\\vendor\\App\\Settings");
  std::string text;
  ASSERT_TRUE(key.ReadString("colour", text));
  EXPECT_EQ(text, "blue");
  EXPECT_EQ(key.valueSize(), 5u) << "with the terminating NUL";

  EXPECT_FALSE(key.OpenSubKey("Missing"));
  EXPECT_EQ(key.status(), platform::kRegistryNotFound);
  EXPECT_EQ(key.path(), "SOFTWARE\\vendor\\App\\Settings");
  EXPECT_TRUE(key.ReadString("Colour", text)) << "still open where it was";

  ASSERT_TRUE(key.Up(1));
  EXPECT_EQ(key.path(), "SOFTWARE\\vendor\\App");
  ASSERT_TRUE(key.ReadString("", text));
  EXPECT_EQ(text, "default");
  EXPECT_FALSE(key.ReadString("Colour", text)) << "a value of the subkey, not of this key";

  EXPECT_FALSE(key.Open(RegistryRoot::LocalMachine, "Software\\Vendor", platform::kRegistryRead));
  EXPECT_EQ(key.rootName(), "HKEY_CURRENT_USER\\");
  EXPECT_EQ(key.path(), "SOFTWARE\\vendor\\App");
}

TEST_F(RegistryKeyTest, ValuesOfMoreThan200BytesCannotBeRead) {
  platform::SetRegistryString(RegistryRoot::CurrentUser, "Limits", "fits", std::string(199, 'a'));
  platform::SetRegistryString(RegistryRoot::CurrentUser, "Limits", "long", std::string(200, 'b'));
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, "Limits", platform::kRegistryRead));
  std::string text = "before";
  ASSERT_TRUE(key.ReadString("fits", text));
  EXPECT_EQ(text, std::string(199, 'a'));
  EXPECT_EQ(key.valueSize(), 200u);
  text = "before";
  EXPECT_FALSE(key.ReadString("long", text));
  EXPECT_EQ(key.status(), platform::kRegistryMoreData);
  EXPECT_EQ(text, "before");
}

TEST_F(RegistryKeyTest, SubkeysAreListedInTheOrderOfTheirNames) {
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, "Software\\Vendor", platform::kRegistryRead));
  std::vector<std::string> names;
  ASSERT_TRUE(key.EnumSubKeys(names));
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "App", "Zeta"}));
  platform::ClearRegistry();
  EXPECT_FALSE(key.OpenSubKey("App")) << "the tree is gone";
}

}  // namespace
}  // namespace quorvel
