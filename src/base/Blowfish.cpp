#include "base/Blowfish.h"

#include <cstring>

namespace pw {
namespace {

#include "base/BlowfishTables.inc"

uint32_t Load(const uint8_t* p, bool le) {
  return le ? p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24)
            : (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

void Store(uint8_t* p, uint32_t v, bool le) {
  for (int i = 0; i < 4; ++i) p[le ? i : 3 - i] = uint8_t(v >> (8 * i));
}

}  // namespace

Blowfish::Blowfish(const uint8_t* key, size_t size) {
  memcpy(p_, kInitP, sizeof(p_));
  memcpy(s_, kInitS, sizeof(s_));
  if (size > 56) size = 56;
  if (key && size) {
    size_t k = 0;
    for (int i = 0; i < 18; ++i) {
      uint32_t word = 0;
      for (int j = 0; j < 4; ++j) {
        word = (word << 8) | key[k];
        k = (k + 1) % size;
      }
      p_[i] ^= word;
    }
  }
  uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(l, r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      Encrypt(l, r);
      box[i] = l;
      box[i + 1] = r;
    }
  }
}

uint32_t Blowfish::F(uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xff]) ^ s_[2][(x >> 8) & 0xff]) + s_[3][x & 0xff];
}

void Blowfish::Encrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  l ^= p_[16];
  r ^= p_[17];
  left = r;
  right = l;
}

void Blowfish::Decrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i - 1];
    l ^= F(r);
  }
  l ^= p_[1];
  r ^= p_[0];
  left = r;
  right = l;
}

void Blowfish::EncryptEcb(uint8_t* data, size_t size, bool le) const {
  for (size_t at = 0; at + 8 <= size; at += 8) {
    uint32_t l = Load(data + at, le), r = Load(data + at + 4, le);
    Encrypt(l, r);
    Store(data + at, l, le);
    Store(data + at + 4, r, le);
  }
}

void Blowfish::DecryptEcb(uint8_t* data, size_t size, bool le) const {
  for (size_t at = 0; at + 8 <= size; at += 8) {
    uint32_t l = Load(data + at, le), r = Load(data + at + 4, le);
    Decrypt(l, r);
    Store(data + at, l, le);
    Store(data + at + 4, r, le);
  }
}

}  // namespace pw
