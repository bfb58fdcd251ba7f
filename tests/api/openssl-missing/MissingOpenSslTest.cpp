// OpenSSL cannot be loaded (CTest puts first on the library path a directory where this test
// leaves empty libcrypto/libssl files, or copies of QUORVEL_OPENSSL_STAND_IN): TLS fails as a
// failed handshake (POP error 13) saying so and naming libcrypto; a plain login works.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ScriptedServer.h"
#include "protocol/PopClient.h"
#include "platform/OpenSsl.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

TEST(MissingOpenSsl, TlsFailsSayingSoAndPlainLoginsWork) {
  // Only the directory CTest made for this test is written to.
  const char* directory = std::getenv("QUORVEL_MISSING_OPENSSL_DIR");
  const char* path = std::getenv("LD_LIBRARY_PATH");
  ASSERT_TRUE(directory != nullptr && path != nullptr && std::string(path) == directory &&
              std::filesystem::is_directory(directory))
      << "runs through CTest, which makes the directory and names it in LD_LIBRARY_PATH";
  const char* standIn = std::getenv("QUORVEL_OPENSSL_STAND_IN");
  const std::vector<std::string> files = platform::OpenSslLibraryFiles();
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    const std::filesystem::path path = std::filesystem::path(directory) / file;
    if (standIn != nullptr) {
      std::filesystem::copy_file(standIn, path, std::filesystem::copy_options::overwrite_existing);
    } else {
      std::ofstream(path, std::ios::trunc);
    }
  }
  // The loader names the file it found; the first function looked up is ERR_get_error.
  const std::string reason = standIn != nullptr
                                 ? files[0] + " has no ERR_get_error"
                                 : (std::filesystem::path(directory) / files[0]).string() + ": ";
  struct Case {
    const char* name;
    uint32_t tls;
    const char* greeting;  // before the client's first command
    uint32_t error;
  };
  const Case cases[] = {
      {"implicit TLS", kTlsImplicit, "", kPopTlsFailed},
      {"STLS", kTlsUpgrade, "+OK\r\n", kPopTlsFailed},
      {"a second TLS connection", kTlsImplicit, "", kPopTlsFailed},
      {"plain", kTlsNone, "+OK\r\n", kPopNoError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server([&](ServerSide& side) {
      side.Send(c.greeting);
      std::string line;
      // CAPA's answer is a list, here an empty one.
      while (side.NextLine(line) && side.Send(line == "CAPA" ? "+OK\r\n.\r\n" : "+OK\r\n") &&
             line != "QUIT") {
      }
    });
    PopClient client(nullptr);
    TransportSecurity security;
    security.popTls = c.tls;
    security.popSecuritySet = true;
    security.popClearTextAllowed = true;
    client.SetSecurity(security);
    EXPECT_EQ(client.Connect("127.0.0.1", server.port(), "u", "p"), c.error == kPopNoError);
    EXPECT_EQ(client.lastError(), c.error);
    if (c.error == kPopTlsFailed) {
      EXPECT_EQ(client.tlsFailure().rfind("OpenSSL could not be loaded: " + reason, 0), 0u)
          << client.tlsFailure();
    } else {
      EXPECT_TRUE(client.Quit());
    }
  }
}

}  // namespace
}  // namespace quorvel
