// windows.h first: bcrypt.h needs its types.
#include <windows.h>
//
#include <bcrypt.h>

#include <climits>
#include <cstring>

#include "ui/console/sha256.h"

namespace plc {

bool Sha256(const uint8_t* data, size_t length, uint8_t (&digest)[kSha256Size]) {
  std::memset(digest, 0, sizeof digest);
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // BCryptHashData takes at most a ULONG at a time.
  size_t done = 0;
  while (ok && done < length) {
    size_t part = length - done;
    if (part > ULONG_MAX) part = ULONG_MAX;
    ok = BCRYPT_SUCCESS(
        BCryptHashData(hash, const_cast<PUCHAR>(data + done), static_cast<ULONG>(part), 0));
    done += part;
  }
  if (ok) ok = BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) std::memset(digest, 0, sizeof digest);
  return ok;
}

}  // namespace plc
