#include "loader/crypto_library.h"

#include <dlfcn.h>
#include <openssl/opensslv.h>

namespace kaz::checksum {

namespace {

#define KAZ_STRING(x) #x
#define KAZ_EXPAND_STRING(x) KAZ_STRING(x)
// The library of the ABI the headers describe.
constexpr const char* library_name = "libcrypto.so." KAZ_EXPAND_STRING(OPENSSL_SHLIB_VERSION);
#undef KAZ_EXPAND_STRING
#undef KAZ_STRING

template <typename F>
bool bind(void* lib, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(lib, name));
  return out != nullptr;
}

const crypto_api* load() {
  static crypto_api api{};
  void* lib = dlopen(library_name, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  bool ok = bind(lib, "EVP_md5", api.md5) && bind(lib, "EVP_sha1", api.sha1) &&
            bind(lib, "EVP_sha256", api.sha256) && bind(lib, "EVP_sha384", api.sha384) &&
            bind(lib, "EVP_sha512", api.sha512) && bind(lib, "EVP_Digest", api.digest) &&
            bind(lib, "EVP_MD_get_block_size", api.block_size) && bind(lib, "HMAC", api.hmac);
  return ok ? &api : nullptr;
}

}  // namespace

const crypto_api* crypto_library() {
  static const crypto_api* api = load();  // tried once
  return api;
}

}  // namespace kaz::checksum
