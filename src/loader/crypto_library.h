// libcrypto, loaded when the first digest or HMAC is computed: linked in, its tables cost every
// start of the program some 16,000 relocations, though most runs never compute a digest.
#pragma once

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace kaz::checksum {

// The libcrypto functions the checksums call, by their names in libcrypto.
struct crypto_api {
  decltype(&EVP_md5) md5;
  decltype(&EVP_sha1) sha1;
  decltype(&EVP_sha256) sha256;
  decltype(&EVP_sha384) sha384;
  decltype(&EVP_sha512) sha512;
  decltype(&EVP_Digest) digest;
  decltype(&EVP_MD_get_block_size) block_size;
  decltype(&HMAC) hmac;
};

// The loaded library, or null when it cannot be had (a digest then fails as one the library
// refused).
const crypto_api* crypto_library();

}  // namespace kaz::checksum
