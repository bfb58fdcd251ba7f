// Drives catch-and-log sites with injected file failures: LoggedSites reads back the location
// numbers the sites logged on this thread; SweepFileFaults runs a scenario once to count its
// file operations, then once more for each of them with that call failing.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "HostLogTable.h"
#include "TempDirectory.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace quorvel::testing {

class LoggedSites {
 public:
  LoggedSites() = default;
  LoggedSites(const LoggedSites&) = delete;
  LoggedSites& operator=(const LoggedSites&) = delete;

  // The location numbers of the events 200004 written since the last call.
  std::vector<uint32_t> Take() {
    std::vector<uint32_t> sites;
    for (const auto& entry : platform::ListDirectory(directory_.path(), "sites*.log")) {
      const std::string path = directory_ / entry.name;
      const std::string text = ReadFile(path);
      for (size_t at = text.find(" 200004 "); at != std::string::npos;
           at = text.find(" 200004 ", at + 1)) {
        const size_t key = text.find(" 2=", at);
        if (key == std::string::npos) continue;
        sites.push_back(static_cast<uint32_t>(std::stoul(text.substr(key + 3))));
      }
      platform::RemoveFile(path);
    }
    return sites;
  }

 private:
  TempDirectory directory_;
  HostLogTable table_{directory_.path(), "sites", 1};
};

inline constexpr platform::FileOperation kEveryFileOperation[] = {
    platform::FileOperation::Open, platform::FileOperation::Read,
    platform::FileOperation::Write, platform::FileOperation::Seek,
    platform::FileOperation::Sync, platform::FileOperation::Rename,
    platform::FileOperation::MakeDirectory};

// Answers the sites `scenario` logged over the sweep. `check` runs after each run, with no
// fault armed, on what the run left; both get the failure's description. `scenario` must start
// from the same state every time.
inline std::set<uint32_t> SweepFileFaults(
    const std::function<void(const std::string& failing)>& scenario,
    const std::function<void(const std::string& failing)>& check) {
  LoggedSites logged;
  uint32_t counts[std::size(kEveryFileOperation)] = {};
  {
    platform::FileFaults counting;
    scenario("nothing");
    for (size_t kind = 0; kind < std::size(kEveryFileOperation); ++kind) {
      counts[kind] = counting.Count(kEveryFileOperation[kind]);
    }
  }
  check("nothing");
  EXPECT_TRUE(logged.Take().empty()) << "a run without faults logs nothing";
  std::set<uint32_t> reached;
  for (size_t kind = 0; kind < std::size(kEveryFileOperation); ++kind) {
    for (uint32_t n = 1; n <= counts[kind]; ++n) {
      const std::string failing = "file operation kind " + std::to_string(kind) + " call " +
                                  std::to_string(n);
      {
        platform::FileFaults faults;
        faults.Fail(kEveryFileOperation[kind], n);
        scenario(failing);
        EXPECT_TRUE(faults.Fired()) << failing;
      }
      check(failing);
      for (const uint32_t site : logged.Take()) reached.insert(site);
    }
  }
  return reached;
}

}  // namespace quorvel::testing
