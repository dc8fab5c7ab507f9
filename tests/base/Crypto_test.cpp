#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Blowfish.h"
#include "base/HmacMd5.h"
#include "base/Md5.h"

using namespace pw;

namespace {

std::vector<uint8_t> FromHex(const char* hex) {
  std::vector<uint8_t> out;
  for (const char* p = hex; p[0] && p[1]; p += 2) out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
  return out;
}

}  // namespace

TEST(Md5, Rfc1321Suite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : suite) EXPECT_EQ(Md5::Hex(text, strlen(text)), digest) << text;
}

// Pieces that straddle the 64-byte blocks and the 56-byte padding limit
// give the digest of the whole.
TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  std::string data;
  for (int i = 0; i < 300; ++i) data.push_back(char('a' + i % 26));
  for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
    for (size_t cut : {size_t(1), size_t(7), size_t(63), len / 2}) {
      if (cut > len) continue;
      Md5 m;
      m.Update(data.data(), cut);
      m.Update(data.data() + cut, len - cut);
      uint8_t a[16], b[16];
      m.Final(a);
      Md5::Digest(data.data(), len, b);
      EXPECT_EQ(0, memcmp(a, b, 16)) << len << "/" << cut;
    }
  }
}

// The published Blowfish vectors use big-endian halves.
TEST(Blowfish, PublishedVectors) {
  const char* const vectors[][3] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
  };
  for (const auto& v : vectors) {
    std::vector<uint8_t> key = FromHex(v[0]), block = FromHex(v[1]);
    Blowfish bf(key.data(), key.size());
    bf.EncryptEcb(block.data(), block.size(), false);
    EXPECT_EQ(block, FromHex(v[2])) << v[0];
    bf.DecryptEcb(block.data(), block.size(), false);
    EXPECT_EQ(block, FromHex(v[1])) << v[0];
  }
}

// Stored passwords take each half little-endian: the same cipher, bytes
// swapped within each half.
TEST(Blowfish, LittleEndianHalvesSwapBytesOfEachHalf) {
  std::vector<uint8_t> key = FromHex("0123456789ABCDEF");
  Blowfish bf(key.data(), key.size());
  std::vector<uint8_t> le = FromHex("1111111111111111");
  bf.EncryptEcb(le.data(), le.size(), true);
  EXPECT_EQ(le, FromHex("80C3F96196B08122"));
}

// RFC 2202 cases 1, 2 and 6 (a key longer than a block is hashed first) and
// the CRAM-MD5 example of RFC 2195.
TEST(HmacMd5, KnownAnswers) {
  struct Case {
    std::vector<uint8_t> key;
    std::string data;
    const char* hex;
  };
  const Case cases[] = {
      {std::vector<uint8_t>(16, 0x0b), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {{'J', 'e', 'f', 'e'}, "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {std::vector<uint8_t>(80, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {{'t', 'a', 'n', 's', 't', 'a', 'a', 'f', 't', 'a', 'n', 's', 't', 'a', 'a', 'f'},
       "<1896.697170952@postoffice.reston.mci.net>", "b913a602c7eda7a495b4e6e7334d3890"},
  };
  for (const Case& c : cases) {
    std::string hex;
    ASSERT_TRUE(HmacMd5Hex(c.key.data(), c.key.size(), c.data.data(), c.data.size(), hex));
    EXPECT_EQ(hex, c.hex) << c.data;
  }
  std::string hex;
  ASSERT_TRUE(HmacMd5Hex(nullptr, 0, nullptr, 0, hex));  // empty password, empty challenge
  EXPECT_EQ(hex, "74e6f7298a9c2d168935f58c001bad88");
}
