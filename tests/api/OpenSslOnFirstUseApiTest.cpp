// libquorvel.so loads OpenSSL on the first TLS connection only: a host that
// loads the library and works without TLS (a context, a receive over a plain
// connection) has neither libssl nor libcrypto mapped. A process where they
// cannot be loaded is tested by tests/api/openssl-missing.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "TempDirectory.h"
#include "quorvel/quorvel.h"

namespace {

// The files this process has mapped, one line each, as the kernel lists them.
std::string MappedFiles() {
  std::ifstream maps("/proc/self/maps");
  return std::string(std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>());
}

TEST(OpenSslOnFirstUse, WorkWithoutTlsLeavesLibsslAndLibcryptoUnloaded) {
  quorvel::testing::TempDirectory reception;
  std::thread([&] {
    ASSERT_NE(MTAddNew(nullptr), 0);
    const CodedText name;
    // Nothing listens on port 1: the plain connection is refused.
    ASSERT_TRUE(MailsUseSMTP_POP("127.0.0.1", 1, "u", "p", "127.0.0.1", 1, &name,
                                 reception.path().c_str(), 0));
    MailsSetReceptionDirectory(reception.path().c_str());
    MailDataList mails;
    EXPECT_FALSE(MailsReceiveMails(&mails));
    MTRemove();
  }).join();
  const std::string mapped = MappedFiles();
  EXPECT_NE(mapped.find("/libquorvel.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libssl.so"), std::string::npos) << mapped;
  EXPECT_EQ(mapped.find("/libcrypto.so"), std::string::npos) << mapped;
}

}  // namespace
