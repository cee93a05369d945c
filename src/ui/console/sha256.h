// SHA-256 through the platform's own implementation: OpenSSL's libcrypto on
// Linux (sha256_posix.cpp), the CNG API on Windows (sha256_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace plc {

inline constexpr size_t kSha256Size = 32;

// The digest of length bytes at data; false when the platform could not
// compute it (digest then holds zeros).
bool Sha256(const uint8_t* data, size_t length, uint8_t (&digest)[kSha256Size]);

}  // namespace plc
