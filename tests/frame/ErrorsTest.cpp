// The fixed messages of the error codes; a file failure that reaches an
// export becomes its neutral value and is logged at the export boundary.
#include <gtest/gtest.h>

#include <sstream>

#include "FaultSweep.h"
#include "frame/ContextTable.h"
#include "frame/ErrorCodes.h"
#include "frame/ExportGuard.h"
#include "platform/File.h"
#include "platform/Threads.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

// Each line of the data file: a code, a tab, its message in code page 1252
// (codes without a message of their own give "Unknown dllErrorCode").
TEST(ErrorMessages, FixedTexts) {
  std::istringstream lines(ReadFile(QUORVEL_TEST_DATA "/error-messages/messages.txt"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    const size_t tab = line.find('\t');
    EXPECT_STREQ(ErrorMessage(static_cast<uint32_t>(std::stoul(line.substr(0, tab)))),
                 line.substr(tab + 1).c_str()) << line;
  }
  EXPECT_EQ(count, 24);
}

TEST(ErrorMessageFor, FollowsTheCallingThreadsLastError) {
  EXPECT_EQ(ErrorMessageFor(), "") << "no context";
  const uint32_t self = platform::CurrentThreadId();
  ASSERT_TRUE(Contexts().AddNew(self, nullptr));
  Contexts().Find(self)->lastError = kErrorSendingFile;
  EXPECT_EQ(ErrorMessageFor(), "Sending file not possible");
  Contexts().Remove(self);
}

TEST(ExportGuard, AFileFailureBecomesTheNeutralValueAndIsLogged) {
  TempDirectory directory;
  int answer = -1;
  const auto exported = [&](const std::string&) {
    answer = Guarded(7, [&] {
      platform::File::Open(directory / "f", platform::FileAccess::Write,
                           platform::FileShare::DenyNone, platform::FileDisposition::CreateAlways);
      return 1;
    });
  };
  const auto check = [&](const std::string& failing) {
    EXPECT_EQ(answer, failing == "nothing" ? 1 : 7) << failing;
  };
  EXPECT_EQ(SweepFileFaults(exported, check), (std::set<uint32_t>{kLocationExportBoundary}));
}

}  // namespace
}  // namespace quorvel
