#include "base/Base64Coder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using pw::Base64Coder;

namespace {
std::string Encoded(const std::string& in) {
  Base64Coder c;
  EXPECT_TRUE(c.Encode(in.data(), in.size()));
  return std::string(c.GetOutput(), c.GetOutputLength());
}
std::string Decoded(const std::string& in) {
  Base64Coder c;
  c.Decode(in.data(), in.size());
  return std::string(c.GetOutput(), c.GetOutputLength());
}
}  // namespace

TEST(Base64, PaddingOfTheLastGroup) {
  EXPECT_EQ(Encoded("u:pw"), "dTpwdw==");  // 4 bytes: 8 characters, two "="
  EXPECT_EQ(Encoded("u:p"), "dTpw");       // 3 bytes: 4 characters, none
  EXPECT_EQ(Encoded("ab"), "YWI=");
  EXPECT_EQ(Encoded(""), "");
  const std::string longCredential(300, 'x');
  const std::string e = Encoded(longCredential);
  EXPECT_EQ(e.size(), 400u);
  EXPECT_EQ(e.find_first_of("\r\n"), std::string::npos);  // one line however long
}

TEST(Base64, RoundTripOfEveryLength) {
  std::mt19937 rng(7);
  for (size_t n = 0; n < 300; ++n) {
    std::string bytes(n, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng());
    const std::string back = Decoded(Encoded(bytes));
    // Exactly the bytes that went in: padding adds none.
    ASSERT_EQ(back, bytes) << n;
    // Without its padding the text decodes the same.
    std::string bare = Encoded(bytes);
    bare.erase(bare.find_last_not_of('=') + 1);
    ASSERT_EQ(Decoded(bare), bytes) << n;
  }
}

TEST(Base64, DecodingSkipsLineBreaksAndBlanksAndNeverFails) {
  EXPECT_EQ(Decoded("dT pw\r\n d\tw=\x0b="), "u:pw");
  EXPECT_EQ(Decoded("   \r\n"), "");
  // The top bit set, as seven-bit gateways leave it, reads as the plain character.
  std::string high = "dTpw";
  for (auto& c : high) c = static_cast<char>(c | 0x80);
  EXPECT_EQ(Decoded(high), "u:p");
  // A short last group gives its whole bytes only.
  EXPECT_EQ(Decoded("dTpwdw"), "u:pw");
  EXPECT_EQ(Decoded("QQ"), "A");
  EXPECT_EQ(Decoded("Q"), "");
  // Bytes outside the alphabet are not fatal; the result is NUL-terminated.
  Base64Coder c;
  c.DecodeString("@@@@");
  EXPECT_EQ(c.GetOutputLength(), 3u);
  EXPECT_EQ(c.GetOutput()[c.GetOutputLength()], '\0');
}

// Encoded words and bodies come folded and sometimes broken: blanks and line
// breaks anywhere decode away, and both ways into the decoder read every
// input, garbage included, alike.
TEST(Base64, FoldedAndBrokenInputsAgreeBetweenBothEntryPoints) {
  std::mt19937 rng(2047);
  for (size_t n = 0; n < 200; ++n) {
    std::string bytes(n, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng());
    std::string folded;
    for (char c : Encoded(bytes)) {
      if (rng() % 5 == 0) folded += " \r\n\t"[rng() % 4];
      folded += c;
    }
    ASSERT_EQ(Decoded(folded), bytes) << folded;
  }
  const char kBytes[] = "ABCXYZabcxyz0189+/=\x80\xC1\xE1\xBD\xAB\xAF \t\r\n\x07-_.*";
  for (int i = 0; i < 5000; ++i) {
    std::string in;
    for (size_t k = rng() % 24; k > 0; --k) in += kBytes[rng() % (sizeof kBytes - 1)];
    std::string direct;
    Base64Coder::DecodeTo(in.data(), in.size(), direct);
    ASSERT_EQ(Decoded(in), direct) << in;
    ASSERT_LE(direct.size(), in.size() * 3 / 4) << in;
  }
}
