// TLS handshakes against OpenSSL's server side on loopback, with a "localhost" certificate from
// a throw-away test CA (tests/data/tls, valid 2000 to 2100): which certificates the client
// trusts (CA file, system store, none with verification off) and the server name it sends.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "TempDirectory.h"
#include "platform/OpenSsl.h"
#include "platform/Sockets.h"

namespace quorvel::platform {
namespace {

const std::string kTls = QUORVEL_TEST_DATA "/tls/";

// Serves one connection: the handshake, "pong" for "ping", then it closes, ending the session
// first or not.
class TlsServer {
 public:
  explicit TlsServer(bool endsSession)
      : endsSession_(endsSession),
        context_(SSL_CTX_new(TLS_server_method())),
        listener_(BIO_new_accept("127.0.0.1:0")) {
    const std::string certificate = kTls + "localhost.pem", key = kTls + "localhost-key.pem";
    const bool ready =
        SSL_CTX_use_certificate_file(context_, certificate.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
        BIO_do_accept(listener_) == 1;  // binds and listens
    if (!ready) return;
    port_ = static_cast<uint16_t>(std::stoi(BIO_get_accept_port(listener_)));
    thread_ = std::thread([this] { Serve(); });
  }
  ~TlsServer() {
    if (thread_.joinable()) {  // a plain client ends the wait for one that never came
      TimeoutSocket unblock;
      unblock.Create();
      unblock.Connect("127.0.0.1", port_);
      thread_.join();
    }
    BIO_free_all(listener_);
    SSL_CTX_free(context_);
  }
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  uint16_t port() const { return port_; }
  // The server name the client sent, once the connection is over.
  std::string ServerName() {
    if (thread_.joinable()) thread_.join();
    return serverName_;
  }

 private:
  void Serve() {
    if (BIO_do_accept(listener_) != 1) return;
    SSL* ssl = SSL_new(context_);
    BIO* connection = BIO_pop(listener_);
    SSL_set_bio(ssl, connection, connection);
    char request[4];
    const bool handshaken = SSL_accept(ssl) == 1;
    if (const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name)) serverName_ = name;
    if (handshaken && SSL_read(ssl, request, 4) == 4 && std::string(request, 4) == "ping") {
      SSL_write(ssl, "pong", 4);
      if (endsSession_) SSL_shutdown(ssl);
    }
    SSL_free(ssl);
  }

  bool endsSession_;
  SSL_CTX* context_;
  BIO* listener_;
  uint16_t port_ = 0;
  std::string serverName_;
  std::thread thread_;
};

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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trust);
    TlsServer server(c.serverEndsSession);
    ASSERT_NE(server.port(), 0);
    TimeoutSocket client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
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
    EXPECT_EQ(server.ServerName(), c.serverName);
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
