// Walking the registry with RegistryKey over the in-memory registry (tests/data/registry).
#include "_Common/Classes/Registry/RegistryKey.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "ByteCases.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using platform::RegistryRoot;

TEST(RegistryKeyWalks, EachStepAnswersAndLeavesTheKeyAsTheWalkSays) {
  platform::ClearRegistry();
  std::optional<RegistryKey> key;
  std::string text;
  for (const std::vector<std::string>& row : testing::CaseTable("registry/walks.txt")) {
    std::istringstream head(row[0]);
    std::string step, rootName;
    head >> step >> rootName;
    const RegistryRoot root =
        rootName == "LM" ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    std::vector<std::string> a;  // the arguments; the last field of a walking step is its outcome
    for (size_t i = 1; i < row.size() - (step == "set" ? 0 : 1); ++i) {
      a.push_back(testing::ParseBytes(row[i]));
    }
    bool answer = true;
    std::vector<std::string> names;
    if (step == "set") platform::SetRegistryString(root, a[0], a[1], a[2]);
    if (step == "clear") platform::ClearRegistry();
    if (step == "set" || step == "clear") continue;
    if (step == "new") key.emplace(root, platform::kRegistryRead);
    if (step == "open") answer = key->Open(root, a[0], platform::kRegistryRead);
    if (step == "sub") answer = key->OpenSubKey(a[0]);
    if (step == "up") answer = key->Up(std::stoi(a[0]));
    if (step == "read") answer = key->ReadString(a[0], text);
    if (step == "list") answer = key->EnumSubKeys(names);
    std::string shown = std::string(answer ? "yes " : "no ") + key->rootName() + key->path() +
                        " status " + std::to_string(key->status());
    if (step == "read" && answer) shown += " size " + std::to_string(key->valueSize());
    if (step == "read") shown += " text " + std::to_string(text.size()) + ":" + text.substr(0, 12);
    for (const std::string& name : names) shown += " " + name;
    EXPECT_EQ(shown, row.back()) << row[0];
  }
  platform::ClearRegistry();
}

}  // namespace
}  // namespace quorvel
