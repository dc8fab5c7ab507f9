#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "account/PasswordSeal.h"
#include "base/Md5.h"

using namespace pw;

namespace {

std::wstring Unseal(const std::vector<uint8_t>& data, const SealKey& key) {
  wchar_t out[50];
  UnsealPassword(data.data(), data.size(), key, out, 50);
  return out;
}

}  // namespace

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
