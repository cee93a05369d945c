#include <openssl/evp.h>

#include <cstring>

#include "ui/console/sha256.h"

namespace plc {

bool Sha256(const uint8_t* data, size_t length, uint8_t (&digest)[kSha256Size]) {
  std::memset(digest, 0, sizeof digest);
  unsigned int size = 0;
  if (EVP_Digest(data, length, digest, &size, EVP_sha256(), nullptr) != 1 || size != kSha256Size) {
    std::memset(digest, 0, sizeof digest);
    return false;
  }
  return true;
}

}  // namespace plc
