// The built-in rules on real headers, and that a configuration gets them
// once.
#include <gtest/gtest.h>

#include "filter/BuiltinRules.h"
#include "filter/FilterTestUtil.h"

using pwtest::MakeMessage;

namespace {

pw::MessageType Classify(pw::MailMessage& m) {
  auto list = std::make_unique<pw::RuleList>();
  pw::AddBuiltinRules(*list);
  pwtest::Run(std::move(list), m);
  return m.Type();
}

}  // namespace

TEST(BuiltinRules, Shape) {
  pw::RuleList list;
  pw::AddBuiltinRules(list);
  ASSERT_EQ(list.rules.size(), 4u);
  EXPECT_STREQ(list.rules[0]->name, L"Friends");
  EXPECT_EQ(list.rules[0]->sets.size(), 4u);
  EXPECT_EQ(list.rules[1]->result, 258u);
  EXPECT_EQ(list.rules[1]->sets.size(), 60u);
  EXPECT_EQ(list.rules[2]->sets.size(), 8u);
  EXPECT_EQ(list.rules[3]->sets.size(), 20u);
}

TEST(BuiltinRules, ClassifiesTypicalMail) {
  auto spam = MakeMessage("From: Promo <deals@shop.example>\r\nTo: you@example.org\r\nSubject: Act now!!! Limited time offer\r\n\r\n");
  EXPECT_EQ(Classify(*spam), pw::MessageType::Spam);
  EXPECT_FALSE(spam->HasState(pw::MessageState::New));  // marked read

  // The friends rule comes first and does not continue.
  auto friendMail = MakeMessage("From: Support <support@postwarden.org>\r\nTo: you@example.org\r\nSubject: Release notes!!!\r\n\r\n");
  EXPECT_EQ(Classify(*friendMail), pw::MessageType::Approved);
  EXPECT_TRUE(friendMail->HasState(pw::MessageState::New));

  auto plain = MakeMessage("From: bob@example.net\r\nTo: you@example.org\r\nSubject: lunch tomorrow\r\n\r\n");
  EXPECT_EQ(Classify(*plain), pw::MessageType::Normal);
  EXPECT_EQ(plain->color, -1);

  auto noSubject = MakeMessage("From: bob@example.net\r\nTo: you@example.org\r\nSubject: \r\n\r\n");
  EXPECT_EQ(Classify(*noSubject), pw::MessageType::Spam);
  auto toFriend = MakeMessage("From: bob@example.net\r\nTo: Friend <f@example.org>\r\nSubject: hi\r\n\r\n");
  EXPECT_EQ(Classify(*toFriend), pw::MessageType::Spam);

  // "Group" and "Mail" must both stand in X-Mailer.
  auto both = MakeMessage("From: a@example.net\r\nTo: b@example.org\r\nSubject: s\r\nX-Mailer: Group Mail 2.0\r\n\r\n");
  EXPECT_EQ(Classify(*both), pw::MessageType::Spam);
  auto one = MakeMessage("From: a@example.net\r\nTo: b@example.org\r\nSubject: s\r\nX-Mailer: Group Sender\r\n\r\n");
  EXPECT_EQ(Classify(*one), pw::MessageType::Normal);
}
