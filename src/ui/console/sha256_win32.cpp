// windows.h first: bcrypt.h needs its types.
#include <windows.h>
//
#include <bcrypt.h>

#include <climits>
#include <cstring>
#include <memory>

#include "ui/console/sha256.h"

namespace plc {

namespace {

// The provider and the hash object, each closed once on every way out.
struct AlgorithmCloser {
  void operator()(void* algorithm) const noexcept {
    (void)BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};
struct HashDestroyer {
  void operator()(void* hash) const noexcept { (void)BCryptDestroyHash(hash); }
};

bool Digest(const uint8_t* data, size_t length, uint8_t (&digest)[kSha256Size]) {
  BCRYPT_ALG_HANDLE opened = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return false;
  const std::unique_ptr<void, AlgorithmCloser> algorithm(opened);
  BCRYPT_HASH_HANDLE created = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &created, nullptr, 0, nullptr, 0, 0)))
    return false;
  const std::unique_ptr<void, HashDestroyer> hash(created);
  // BCryptHashData takes at most a ULONG at a time.
  for (size_t done = 0; done < length;) {
    size_t part = length - done;
    if (part > ULONG_MAX) part = ULONG_MAX;
    if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), const_cast<PUCHAR>(data + done),
                                       static_cast<ULONG>(part), 0)))
      return false;
    done += part;
  }
  return BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, sizeof digest, 0));
}

}  // namespace

bool Sha256(const uint8_t* data, size_t length, uint8_t (&digest)[kSha256Size]) {
  std::memset(digest, 0, sizeof digest);
  if (Digest(data, length, digest)) return true;
  std::memset(digest, 0, sizeof digest);
  return false;
}

}  // namespace plc
