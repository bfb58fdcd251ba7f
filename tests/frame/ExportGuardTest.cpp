// A file failure that reaches an export becomes its neutral value and is
// logged at the export boundary.
#include "frame/ExportGuard.h"

#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "platform/File.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

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
