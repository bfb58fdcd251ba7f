// OpenSSL through dlopen, by the shared-library names of the headers this
// library was built with ("libssl.so.3" for OpenSSL 3, "libssl.so.1.1" for
// 1.1), so the functions found are the ones the headers describe. The
// libraries are never closed: OpenSSL cleans up at the process's exit.
#include "platform/OpenSsl.h"

#include <dlfcn.h>

#include <openssl/opensslv.h>

namespace quorvel::platform {
namespace {

#define QUORVEL_TEXT(x) #x
#define QUORVEL_EXPANDED_TEXT(x) QUORVEL_TEXT(x)
#ifdef OPENSSL_SHLIB_VERSION
constexpr char kLibraryVersion[] = QUORVEL_EXPANDED_TEXT(OPENSSL_SHLIB_VERSION);
#else
constexpr char kLibraryVersion[] = SHLIB_VERSION_NUMBER;
#endif

std::string LibraryFile(const char* stem) { return std::string(stem) + ".so." + kLibraryVersion; }

struct Loaded {
  OpenSslFunctions functions;
  std::string failure;  // empty when every function was found
};

// Opens `file`; null, with `failure`, when it cannot be loaded.
void* Open(const std::string& file, std::string& failure) {
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    failure = why != nullptr ? why : file + " cannot be loaded";
    ::dlerror();  // asked again, glibc frees the thread's copy of the message
  }
  return handle;
}

Loaded* Load() {
  auto* loaded = new Loaded;
  const std::string cryptoFile = LibraryFile("libcrypto");
  const std::string sslFile = LibraryFile("libssl");
  void* crypto = Open(cryptoFile, loaded->failure);
  void* ssl = crypto == nullptr ? nullptr : Open(sslFile, loaded->failure);
  if (ssl != nullptr) {
    auto find = [&](void* library, const std::string& file, const char* name) -> void* {
      void* address = ::dlsym(library, name);
      if (address == nullptr && loaded->failure.empty()) loaded->failure = file + " has no " + name;
      return address;
    };
    OpenSslFunctions& functions = loaded->functions;
#define QUORVEL_FIND_CRYPTO(name) \
  functions.name = reinterpret_cast<decltype(functions.name)>(find(crypto, cryptoFile, #name));
#define QUORVEL_FIND_SSL(name) \
  functions.name = reinterpret_cast<decltype(functions.name)>(find(ssl, sslFile, #name));
    QUORVEL_OPENSSL_FUNCTIONS(QUORVEL_FIND_CRYPTO, QUORVEL_FIND_SSL)
#undef QUORVEL_FIND_CRYPTO
#undef QUORVEL_FIND_SSL
  }
  if (!loaded->failure.empty()) loaded->failure = "OpenSSL could not be loaded: " + loaded->failure;
  return loaded;
}

}  // namespace

const OpenSslFunctions* OpenSsl(std::string& failure) {
  static const Loaded* const loaded = Load();  // once, whichever thread comes first
  if (loaded->failure.empty()) return &loaded->functions;
  failure = loaded->failure;
  return nullptr;
}

std::vector<std::string> OpenSslLibraryFiles() { return {LibraryFile("libcrypto"), LibraryFile("libssl")}; }

}  // namespace quorvel::platform
