#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Blowfish.h"
#include "base/Md5.h"
#include "account/PasswordSeal.h"

using namespace pw;

namespace {

std::vector<uint8_t> FromHex(const char* hex) {
  std::vector<uint8_t> out;
  for (const char* p = hex; p[0] && p[1]; p += 2) out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
  return out;
}

std::wstring Unseal(const std::vector<uint8_t>& data, const SealKey& key) {
  wchar_t out[50];
  UnsealPassword(data.data(), data.size(), key, out, 50);
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

TEST(PasswordSeal, RoundTripsUnderBothKeys) {
  const SealKey keys[] = {AccountSealKey(L"pop.example.test", L"Work"), MachineSealKey()};
  for (const SealKey& key : keys) {
    for (const wchar_t* pw : {L"", L"a", L"seven77", L"exactly8", L"p\u00e4ssw\u00f6rd with blanks"}) {
      std::vector<uint8_t> sealed = SealPassword(pw, key);
      // ANSI text and its NUL, padded to whole blocks.
      EXPECT_EQ(sealed.size() % 8, 0u);
      EXPECT_GE(sealed.size(), wcslen(pw) + 1);
      EXPECT_EQ(Unseal(sealed, key), pw);
    }
  }
  // The machine key is stable for this user on this machine.
  EXPECT_EQ(0, memcmp(MachineSealKey().bytes, MachineSealKey().bytes, 16));
}

TEST(PasswordSeal, AccountKeyIsMd5OfServerThenName) {
  SealKey k = AccountSealKey(L"pop.example.test", L"Work");
  uint8_t expect[16];
  Md5::Digest("pop.example.testWork", 20, expect);
  EXPECT_EQ(0, memcmp(k.bytes, expect, 16));
}

TEST(PasswordSeal, LongPasswordComesBackAs49Characters) {
  std::wstring sixty(60, L'x');
  for (int i = 0; i < 60; ++i) sixty[i] = wchar_t(L'A' + i % 26);
  SealKey key = AccountSealKey(L"s", L"n");
  std::vector<uint8_t> sealed = SealPassword(sixty.c_str(), key);
  EXPECT_EQ(sealed.size(), 64u);
  EXPECT_EQ(Unseal(sealed, key), sixty.substr(0, 49));
}

TEST(PasswordSeal, HostileOrForeignDataNeverFails) {
  SealKey key = AccountSealKey(L"pop.example.test", L"Work");
  SealKey other = AccountSealKey(L"pop.example.test", L"Home");
  std::vector<uint8_t> sealed = SealPassword(L"secret", key);
  // Sealed under another name: something unreadable, within the field.
  std::wstring wrong = Unseal(sealed, other);
  EXPECT_NE(wrong, L"secret");
  EXPECT_LE(wrong.size(), 49u);
  // Missing, empty, or shorter than a block: empty.
  EXPECT_EQ(Unseal({}, key), L"");
  wchar_t out[50] = L"junk";
  UnsealPassword(nullptr, 8, key, out, 50);
  EXPECT_STREQ(out, L"");
  EXPECT_EQ(Unseal({1, 2, 3}, key), L"");
  // A trailing partial block is ignored, whole blocks still read.
  sealed.push_back(0x55);
  EXPECT_EQ(Unseal(sealed, key), L"secret");
  // A small output field is never overrun.
  wchar_t small[4];
  std::vector<uint8_t> big = SealPassword(L"abcdefghij", key);
  UnsealPassword(big.data(), big.size(), key, small, 4);
  EXPECT_STREQ(small, L"abc");
}
