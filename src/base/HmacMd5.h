// HMAC-MD5 (RFC 2104) over the platform's MD5 (CryptoAPI), for SMTP
// AUTH CRAM-MD5 (RFC 2195).
#pragma once

#include <cstddef>
#include <string>

namespace pw {

// The digest as 32 lower-case hexadecimal digits; false when the platform
// cannot hash (no provider), and `hex` is then empty.
bool HmacMd5Hex(const void* key, size_t keyLength, const void* data, size_t dataLength, std::string& hex);

}  // namespace pw
