// The transport security setters through libquorvel.so: without a context
// they answer 1 and change nothing; a TLS mode above 2 is refused; each
// resets the last error code. Their effect on deliveries and receives is
// tested against the real servers (tests/servers/api/TlsServerTest.cpp).
#include <gtest/gtest.h>

#include <thread>

#include "quorvel/quorvel.h"

namespace {

TEST(TransportSecurityApi, ModesAboveTwoAreRefusedAndTheLastErrorIsReset) {
  std::thread([] {
    EXPECT_TRUE(MailsSetSmtpSecurity(7, "u", "p", nullptr)) << "no context";
    EXPECT_TRUE(MailsSetPopSecurity(7, 0));
    EXPECT_TRUE(MailsSetTlsTrust(nullptr, 0));
    ASSERT_NE(MTAddNew(nullptr), 0);
    const CodedText name;
    for (uint32_t mode = 0; mode <= 3; ++mode) {
      SCOPED_TRACE(mode);
      EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
      EXPECT_EQ(MailsGetLastErrorCode(), 32770);
      EXPECT_EQ(MailsSetSmtpSecurity(mode, "u", "p", nullptr), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
      EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
      EXPECT_EQ(MailsSetPopSecurity(mode, 1), mode <= 2);
      EXPECT_EQ(MailsGetLastErrorCode(), 0);
    }
    EXPECT_FALSE(MailsUseSMTP_POP("h", 110, "u", "p", "h", 25, &name, "/no/such/dir", 0));
    EXPECT_TRUE(MailsSetTlsTrust("/etc/school-ca.pem", 1));
    EXPECT_EQ(MailsGetLastErrorCode(), 0);
    MTRemove();
  }).join();
}

}  // namespace
