// TLS handshakes against OpenSSL's server side on loopback, with a "localhost" certificate from
// a throw-away test CA (tests/data/tls, valid 2000 to 2100): which certificates the client
// trusts (CA file, system store, none with verification off) and the server name it sends.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>

#include "TempDirectory.h"
#include "platform/OpenSsl.h"
#include "platform/Sockets.h"

namespace quorvel::platform {
namespace {

const std::string kTls = QUORVEL_TEST_DATA "/tls/";

TEST(TlsTrust, TheCaFileTheSystemsStoreOrNoVerification) {
  const std::string caFile = kTls + "test-ca.pem";
  // Where CTest points OpenSSL's default store at a file of its own, the test CA goes there.
  const char* systemStore = std::getenv("QUORVEL_TEST_SYSTEM_STORE");
  if (systemStore != nullptr) {
    const char* defaultStore = std::getenv("SSL_CERT_FILE");
    ASSERT_TRUE(defaultStore != nullptr && std::string(defaultStore) == systemStore);
    testing::WriteFile(systemStore, testing::ReadFile(caFile));
  }
  const char* untrustedBySystem = systemStore != nullptr ? nullptr : "certificate is not trusted";
  const struct {
    const char* trust;
    TlsOptions options;
    const char* failure;  // null: the handshake succeeds
    const char* serverName;  // sent in the handshake: a name, never an address
    bool serverEndsSession;  // else it just closes: the same end for the client
  } cases[] = {
      {"the test CA's file", {"localhost", caFile, true}, nullptr, "localhost", true},
      {"no verification", {"localhost", "", false}, nullptr, "localhost", false},
      {"no verification, by address", {"127.0.0.1", "", false}, nullptr, "", true},
      {"the system's store only", {"localhost", "", true}, untrustedBySystem, "localhost", true},
      {"the CA file, another name", {"other.test", caFile, true}, "certificate is not trusted", "",
       true},
      {"no CA file", {"localhost", "/no/such/ca.pem", true},
       "the CA file /no/such/ca.pem cannot be read", "", true},
  };
  // OpenSSL's server side on loopback with the certificate of "localhost".
  const std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_server_method()),
                                                             SSL_CTX_free);
  const std::unique_ptr<BIO, void (*)(BIO*)> listener(BIO_new_accept("127.0.0.1:0"), BIO_free_all);
  const std::string certificate = kTls + "localhost.pem", key = kTls + "localhost-key.pem";
  ASSERT_EQ(SSL_CTX_use_certificate_file(context.get(), certificate.c_str(), SSL_FILETYPE_PEM), 1);
  ASSERT_EQ(SSL_CTX_use_PrivateKey_file(context.get(), key.c_str(), SSL_FILETYPE_PEM), 1);
  ASSERT_EQ(BIO_do_accept(listener.get()), 1);  // binds and listens
  const auto port = static_cast<uint16_t>(std::stoi(BIO_get_accept_port(listener.get())));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trust);
    std::future<std::string> serverName;  // ends after the client, whose close ends the server
    TimeoutSocket client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("127.0.0.1", port));
    // The server takes the connection waiting: the handshake, "pong" for "ping", then it closes,
    // ending the session first or not. Its answer: the server name the client sent.
    serverName = std::async(std::launch::async, [&] {
      if (BIO_do_accept(listener.get()) != 1) return std::string("no connection");
      SSL* ssl = SSL_new(context.get());
      BIO* connection = BIO_pop(listener.get());
      SSL_set_bio(ssl, connection, connection);
      char request[4];
      const bool handshaken = SSL_accept(ssl) == 1;
      const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
      const std::string sent = name != nullptr ? name : "";
      if (handshaken && SSL_read(ssl, request, 4) == 4 && std::string(request, 4) == "ping") {
        SSL_write(ssl, "pong", 4);
        if (c.serverEndsSession) SSL_shutdown(ssl);
      }
      SSL_free(ssl);
      return sent;
    });
    client.StartTimeout(10000);
    std::string failure;
    const bool secured = client.StartTls(c.options, failure);
    if (c.failure != nullptr) {
      EXPECT_FALSE(secured);
      EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
      continue;
    }
    ASSERT_TRUE(secured) << failure;
    EXPECT_TRUE(client.IsSecure());
    ASSERT_EQ(client.Send("ping", 4), 4);
    char answer[8];
    ASSERT_EQ(client.Receive(answer, sizeof answer), 4);
    EXPECT_EQ(std::string(answer, 4), "pong");
    EXPECT_EQ(client.Receive(answer, sizeof answer), 0);
    EXPECT_EQ(serverName.get(), c.serverName);
  }
}

// The files the library loads OpenSSL from are those this program links (named as their soname).
TEST(TlsTrust, OpenSslIsLoadedFromTheLibrariesOfTheBuild) {
  const std::string mapped = testing::ReadFile("/proc/self/maps");
  for (const std::string& file : OpenSslLibraryFiles()) {
    EXPECT_NE(mapped.find("/" + file + "\n"), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace quorvel::platform
