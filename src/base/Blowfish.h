// Blowfish block cipher: 16 rounds, tables initialised from the digits of
// pi, the standard key schedule. Seals stored account passwords.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pw {

class Blowfish {
 public:
  // Keys of 1 to 56 bytes; longer keys use their first 56 bytes.
  Blowfish(const uint8_t* key, size_t size);

  void Encrypt(uint32_t& left, uint32_t& right) const;
  void Decrypt(uint32_t& left, uint32_t& right) const;

  // ECB over whole 8-byte blocks. The halves of a block are read from its
  // bytes 0-3 and 4-7, little-endian (the layout of stored passwords) or
  // big-endian (the layout of the published test vectors). A trailing
  // partial block is left as it is.
  void EncryptEcb(uint8_t* data, size_t size, bool littleEndian) const;
  void DecryptEcb(uint8_t* data, size_t size, bool littleEndian) const;

 private:
  uint32_t F(uint32_t x) const;

  uint32_t p_[18];
  uint32_t s_[4][256];
};

}  // namespace pw
