// Discovery of the user's SMTP settings from a filled in-memory registry and
// files of each mail client: the cases of tests/data/smtp-settings (its README).
#include "mail/SmtpDiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "KeyedCases.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using platform::RegistryRoot;
using namespace quorvel::testing;

TEST(SmtpDiscoveryTest, TheCasesOfTheDataDirectory) {
  const std::map<std::string, RegistryRoot> roots = {{"user", RegistryRoot::CurrentUser},
                                                     {"machine", RegistryRoot::LocalMachine},
                                                     {"classes", RegistryRoot::ClassesRoot}};
  const std::filesystem::path start = std::filesystem::current_path();
  for (const KeyedCase& c : KeyedCases("smtp-settings")) {
    SCOPED_TRACE(c.name);
    platform::ClearRegistry();
    TempDirectory files;
    std::filesystem::current_path(files.path());  // where relative paths lead
    for (auto [key, value] : c.lines) {
      for (size_t at; (at = value.find("$DIR/")) != std::string::npos;) {
        value.replace(at, 5, files.path());
      }
      std::vector<std::string> fields;
      for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = value.find('|', start);
        fields.push_back(value.substr(start, end - start));
      }
      if (key == "file") {
        const std::filesystem::path path = NativePath(fields[0]);
        std::filesystem::create_directories(path.parent_path());
        WriteFile(path.string(), fields[1]);
      } else if (roots.count(key)) {
        platform::SetRegistryString(roots.at(key), fields[0], fields[1], NativePath(fields[2]));
      }
    }
    EXPECT_EQ(DefaultMailClientName(), c.Get("client"));
    SmtpSettings found;
    found.port = 587;
    const bool discovered = DiscoverSmtpSettings(found);
    EXPECT_EQ(found.port, 587) << "discovery never changes the port";
    EXPECT_EQ(discovered ? found.source + "|" + found.host + "|" + found.address + "|" + found.name
                         : "none",
              c.Get("found"));
    // The host's query answers the same, with port 25, or leaves its outputs untouched.
    std::string host = "h", address = "a", name = "n";
    uint16_t port = 1;
    EXPECT_EQ(GetUserDefaultSmtpParams(&host, &port, &address, &name), discovered);
    EXPECT_EQ(std::to_string(port) + "|" + host + "|" + address + "|" + name,
              discovered ? "25|" + found.host + "|" + found.address + "|" + found.name : "1|h|a|n");
    std::filesystem::current_path(start);
  }
  platform::ClearRegistry();
}

}  // namespace
}  // namespace quorvel
