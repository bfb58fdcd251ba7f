// Discovery of the user's SMTP settings from a filled in-memory registry and
// fixture files of each mail client.
#include "mail/SmtpDiscovery.h"

#include <gtest/gtest.h>

#include <tuple>

#include "TempDirectory.h"
#include "text/DerivedName.h"
#include "mail/SmtpProbes.h"
#include "platform/Registry.h"
#include "platform/testing/RegistryFill.h"

namespace quorvel {
namespace {

using platform::RegistryRoot;
using namespace quorvel::testing;

constexpr const char* kOe = "Software\\Microsoft\\Internet Account Manager";
constexpr const char* kProfiles = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";

void Set(RegistryRoot root, const std::string& path, const std::string& name,
         const std::string& value) {
  platform::SetRegistryString(root, path, name, value);
}
void SetUser(const std::string& path, const std::string& name, const std::string& value) {
  Set(RegistryRoot::CurrentUser, path, name, value);
}

// An installed client with its mailto command.
void InstallClient(const std::string& name, const std::string& command) {
  Set(RegistryRoot::LocalMachine,
      "Software\\Clients\\Mail\\" + name + "\\Protocols\\mailto\\shell\\open\\command", "", command);
}
void SetSystemMailto(const std::string& command) {
  Set(RegistryRoot::ClassesRoot, "mailto\\shell\\open\\command", "", command);
}

void SetUpExchange(const std::string& host, const std::string& address) {
  const std::string service = std::string(kProfiles) + "\\MS Exchange Settings\\0a0d020000";
  SetUser(std::string(kProfiles) + "\\MS Exchange Settings\\0001", "001e3001", "Personal Folders");
  SetUser(service, "001e3001", "Internet Mail");
  SetUser(service, "001e6600", "  " + host + " ");
  SetUser(service, "001e6605", address + "  ");
  SetUser(service, "001e6607", "");
}

void SetUpOutlookExpressDefault() {
  SetUser(kOe, "Default Mail Account", "00000001");
  const std::string account = std::string(kOe) + "\\Accounts\\00000001";
  SetUser(account, "SMTP Server", "smtp.oe.test");
  SetUser(account, "SMTP Email Address", "pupil@oe.test");
  SetUser(account, "SMTP Display Name", "Pupil OE");
}

// Host, address and name of found settings, compared in one assertion.
using Found = std::tuple<std::string, std::string, std::string>;
Found Fields(const SmtpSettings& settings) {
  return {settings.host, settings.address, settings.name};
}

class SmtpDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ClearRegistry(); }
  void TearDown() override { platform::ClearRegistry(); }

  SmtpSettings Discovered() {
    SmtpSettings settings;
    settings.port = 587;
    EXPECT_TRUE(DiscoverSmtpSettings(settings));
    EXPECT_EQ(settings.port, 587) << "discovery never changes the port";
    return settings;
  }

  TempDirectory files;
};

TEST_F(SmtpDiscoveryTest, DefaultClientIsTheOneWhoseMailtoCommandIsTheSystems) {
  EXPECT_EQ(DefaultMailClientName(), "") << "no clients installed";
  InstallClient("Eudora", "eudora.exe /m %1");
  InstallClient("Outlook Express", "msimn.exe /mailurl:%1");
  Set(RegistryRoot::LocalMachine, "Software\\Clients\\Mail\\Broken", "", "no command key");
  EXPECT_EQ(DefaultMailClientName(), "") << "no system command";
  SetSystemMailto("msimn.exe /mailurl:%1");
  EXPECT_EQ(DefaultMailClientName(), "Outlook Express");
  SetSystemMailto("MSIMN.EXE /mailurl:%1");
  EXPECT_EQ(DefaultMailClientName(), "") << "commands compare with case";
}

TEST_F(SmtpDiscoveryTest, ProbeOrderFollowsTheClientName) {
  EXPECT_EQ(FirstProbeFor("eudora pro"), 5u);
  EXPECT_EQ(FirstProbeFor("microsoft outlook"), 0u) << "it also contains \"outlook\"";
  EXPECT_EQ(FirstProbeFor("netscape messenger"), 2u);
  EXPECT_EQ(FirstProbeFor("pegasus mail"), 4u);
  EXPECT_EQ(FirstProbeFor("mozilla thunderbird"), 6u);
  EXPECT_EQ(FirstProbeFor(""), 6u);
}

TEST_F(SmtpDiscoveryTest, DefaultClientsProbeRunsFirstInAnyCase) {
  SetUpOutlookExpressDefault();
  WriteFile(files / "eudora.ini",
            "[Personality]\nSMTPServer=wrong.test\n[Settings]\n"
            "SMTPServer = smtp.eudora.test \nReturnAddress=\nPOPAccount=ada.b@eudora.test\n"
            "RealName=\n[Other]\nRealName=Wrong\n");
  SetUser("Software\\Qualcomm\\Eudora\\CommandLine", "Current",
          "C:\\Eudora\\eudora.exe " + files.path() + "eudora.ini");
  InstallClient("EUDORA Light", "eudora");
  SetSystemMailto("eudora");
  const SmtpSettings found = Discovered();
  EXPECT_EQ(found.source, "eudora");
  EXPECT_EQ(Fields(found), Found("smtp.eudora.test", "ada.b@eudora.test", "ada b"))
      << "the POP account stands in for the empty return address";
}

TEST_F(SmtpDiscoveryTest, WithoutADefaultClientExchangeRunsFirstThenTheOthersInOrder) {
  SetUpOutlookExpressDefault();
  SetUpExchange("smtp.exchange.test", "pupil@exchange.test");
  EXPECT_EQ(Discovered().source, "exchange");
  SetUpExchange("abc", "pupil@exchange.test");  // a host under 4 characters
  const SmtpSettings found = Discovered();
  EXPECT_EQ(found.source, "outlook");
  EXPECT_EQ(Fields(found), Found("smtp.oe.test", "pupil@oe.test", "Pupil OE"))
      << "the plain address stands in for reply-to";
}

TEST_F(SmtpDiscoveryTest, OutlookExpressAccountFoundByEnumerationMaySendWithAnEmptyHost) {
  SetUser(kOe, "Default Mail Account", "missing");
  SetUser(std::string(kOe) + "\\Accounts\\00000001", "POP3 Server", "pop.test");
  SetUser(std::string(kOe) + "\\Accounts\\00000002", "SMTP Server", "");
  SetUser(std::string(kOe) + "\\Accounts\\00000002", "SMTP Reply To Email Address", "r@oe.test");
  const SmtpSettings found = Discovered();
  EXPECT_EQ(found.source, "outlook");
  EXPECT_EQ(Fields(found), Found("", "r@oe.test", "")) << "no name derived while the host is empty";
}

TEST_F(SmtpDiscoveryTest, OutlookTriesEachAccountManagerInTurn) {
  const std::string manager = "Software\\Microsoft\\Office\\9.0\\Outlook\\Internet Account Manager";
  SetUser(manager, "Default Mail Account", "Work");
  SetUser(manager + "\\Accounts\\Work", "SMTP Server", "smtp.office.test");
  SetUser(manager + "\\Accounts\\Work", "SMTP Reply To Email Address", "grace.hopper@office.test");
  SetUser(manager + "\\Accounts\\Work", "SMTP Display Name", "");
  SmtpSettings found;
  ASSERT_TRUE(ProbeOutlook(found));
  EXPECT_EQ(Fields(found), Found("smtp.office.test", "grace.hopper@office.test", "grace hopper"));
  EXPECT_FALSE(ProbeOutlookExpress(found));
}

TEST_F(SmtpDiscoveryTest, Netscape4ReadsTheProfilesPrefsFile) {
  const std::string profile = files / "Users/Pupil/";
  std::filesystem::create_directories(profile);
  WriteFile(profile + "prefs.js",
            "// prefs\r\n"
            "user_pref(\"mail.identity.username\", \"Pupil Navigator\");\r\n"
            "user_pref(\"network.hosts.smtp_server\", \"smtp.netscape.test\");\r\n"
            "user_pref(\"mail.identity.reply_to\", \"\");\r\n"
            "user_pref(\"mail.identity.useremail\", \"pupil@netscape.test\");\r\n");
  const std::string biff = "Software\\Netscape\\Netscape Navigator\\biff";
  SetUser(biff, "CurrentUser", "pupil");
  SetUser(biff + "\\users\\pupil", "defaultServer", "pop.netscape.test");
  SetUser(biff + "\\users\\pupil\\servers\\pop.netscape.test", "popstatePath",
          profile + "popstate.dat");
  SmtpSettings found;
  ASSERT_TRUE(ProbeNetscape4(found));
  EXPECT_EQ(Fields(found), Found("smtp.netscape.test", "pupil@netscape.test", "Pupil Navigator"));

  SetUser(biff + "\\users\\pupil\\servers\\pop.netscape.test", "popstatePath",
          NativePath("users/pupil/popstate.dat"));
  EXPECT_FALSE(ProbeNetscape4(found)) << "\"users\" must not begin the path";
}

TEST_F(SmtpDiscoveryTest, Netscape3FallsBackToTheUserAddress) {
  const std::string navigator = "Software\\Netscape\\Netscape Navigator";
  SetUser(navigator + "\\Services", "SMTP_Server", "smtp.nav3.test");
  SetUser(navigator + "\\User", "Reply_To", "");
  SmtpSettings found;
  EXPECT_FALSE(ProbeNetscape3(found)) << "no address at all";
  SetUser(navigator + "\\User", "User_Addr", "old.timer@nav3.test");
  ASSERT_TRUE(ProbeNetscape3(found));
  EXPECT_EQ(Fields(found), Found("smtp.nav3.test", "old.timer@nav3.test", "old timer"));
}

TEST_F(SmtpDiscoveryTest, PegasusReadsPmailIni) {
  SetUser("Software\\Pegasus Mail\\Mailbox", "", files.path() + "mbox");
  std::filesystem::create_directories(files.path() + "mbox");
  WriteFile(files.path() + "mbox/pmail.ini",
            "Personal name                              =   Pat Pegasus  \r\n"
            "SMTP relay host for outgoing mail          = smtp.pegasus.test\r\n"
            "Default reply-to address                   =\r\n"
            "Alternative From: field for message        = pat@pegasus.test\r\n");
  SmtpSettings found;
  ASSERT_TRUE(ProbePegasus(found));
  EXPECT_EQ(Fields(found), Found("smtp.pegasus.test", "pat@pegasus.test", "Pat Pegasus"));
  std::filesystem::remove(files.path() + "mbox/pmail.ini");
  EXPECT_FALSE(ProbePegasus(found)) << "a missing file fails the probe";
}

// Nothing found leaves the outputs untouched: asserted through the export.
TEST_F(SmtpDiscoveryTest, FoundSettingsAreTrimmedAndTakeTheDefaultPort) {
  std::string host = "h", address = "a", name = "n";
  uint16_t port = 1;
  SetUpExchange("smtp.exchange.test", "pupil@exchange.test");
  EXPECT_TRUE(GetUserDefaultSmtpParams(&host, &port, &address, &name));
  EXPECT_EQ(Found(host, address, name), Found("smtp.exchange.test", "pupil@exchange.test", "pupil"));
  EXPECT_EQ(port, 25);
}

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
