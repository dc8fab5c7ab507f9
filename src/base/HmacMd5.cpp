#include "base/HmacMd5.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <cstring>

namespace pw {

namespace {

class ScopedCryptProv {
 public:
  ScopedCryptProv() = default;
  ~ScopedCryptProv() {
    if (h_) CryptReleaseContext(h_, 0);
  }
  ScopedCryptProv(const ScopedCryptProv&) = delete;
  ScopedCryptProv& operator=(const ScopedCryptProv&) = delete;
  bool Acquire() {
    return CryptAcquireContextW(&h_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT) != FALSE;
  }
  HCRYPTPROV Get() const { return h_; }

 private:
  HCRYPTPROV h_ = 0;
};

class ScopedCryptHash {
 public:
  ScopedCryptHash() = default;
  ~ScopedCryptHash() {
    if (h_) CryptDestroyHash(h_);
  }
  ScopedCryptHash(const ScopedCryptHash&) = delete;
  ScopedCryptHash& operator=(const ScopedCryptHash&) = delete;
  bool Create(HCRYPTPROV prov) { return CryptCreateHash(prov, CALG_MD5, 0, 0, &h_) != FALSE; }
  HCRYPTHASH Get() const { return h_; }

 private:
  HCRYPTHASH h_ = 0;
};

// MD5 of two pieces, one after the other.
bool Md5(HCRYPTPROV prov, const void* a, size_t aLength, const void* b, size_t bLength, uint8_t digest[16]) {
  ScopedCryptHash hash;
  if (!hash.Create(prov)) return false;
  if (aLength && !CryptHashData(hash.Get(), static_cast<const BYTE*>(a), static_cast<DWORD>(aLength), 0))
    return false;
  if (bLength && !CryptHashData(hash.Get(), static_cast<const BYTE*>(b), static_cast<DWORD>(bLength), 0))
    return false;
  DWORD size = 16;
  return CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) && size == 16;
}

}  // namespace

bool HmacMd5Hex(const void* key, size_t keyLength, const void* data, size_t dataLength, std::string& hex) {
  hex.clear();
  if (keyLength > 0xFFFFFFFFu || dataLength > 0xFFFFFFFFu) return false;
  ScopedCryptProv prov;
  if (!prov.Acquire()) return false;
  uint8_t block[64] = {};
  if (keyLength > sizeof(block)) {
    if (!Md5(prov.Get(), key, keyLength, nullptr, 0, block)) return false;
  } else if (keyLength) {
    memcpy(block, key, keyLength);
  }
  uint8_t inner[64], outer[64];
  for (size_t i = 0; i < 64; ++i) {
    inner[i] = block[i] ^ 0x36;
    outer[i] = block[i] ^ 0x5c;
  }
  SecureZeroMemory(block, sizeof(block));
  uint8_t innerDigest[16], digest[16];
  const bool ok = Md5(prov.Get(), inner, 64, data, dataLength, innerDigest) &&
                  Md5(prov.Get(), outer, 64, innerDigest, 16, digest);
  SecureZeroMemory(inner, sizeof(inner));
  SecureZeroMemory(outer, sizeof(outer));
  if (!ok) return false;
  static const char kHex[] = "0123456789abcdef";
  hex.reserve(32);
  for (uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return true;
}

}  // namespace pw
