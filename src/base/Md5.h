// MD5 message digest (RFC 1321): APOP and the password-sealing keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pw {

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // Writes the 16-byte digest; the object must be Reset before reuse.
  void Final(uint8_t digest[16]);
  void Reset();

  static void Digest(const void* data, size_t size, uint8_t digest[16]);
  // Lower-case hexadecimal digest, 32 characters.
  static std::string Hex(const void* data, size_t size);

 private:
  void Block(const uint8_t* p);

  uint32_t state_[4];
  uint64_t bytes_ = 0;
  uint8_t buffer_[64];
};

}  // namespace pw
