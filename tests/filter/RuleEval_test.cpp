// Every condition kind, with and without NOT, on real header and message
// bytes; the order of rules and their actions; and the faults a careless
// evaluation would have (broken patterns under NOT, raw fields found inside
// other names, queued replies reclassified).
#include <gtest/gtest.h>

#include "filter/FilterTestUtil.h"
#include "filter/RuleSnapshot.h"

using pw::SearchType::Not;
using pwtest::Holds;
using pwtest::MakeMessage;
namespace ST = pw::SearchType;
namespace RR = pw::RuleResult;

namespace {

const std::string kHeader =
    "Received: from relay.example (relay.example [192.0.2.7]) by mx.example; Mon, 1 Jan 2024 10:00:00 +0000\r\n"
    "Received: from client (unknown [IPv6:2001:db8::1]) by relay.example\r\n"
    "From: Alice Example <alice@example.org>\r\n"
    "To: bob@example.net, carol@example.net, dave@example.net\r\n"
    "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgV2llbg==?= Weekly REPORT\r\n"
    "X-Old-Subject: hidden words\r\n"
    "X-Empty:\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
    "\r\n";

const std::string kBody =
    "--b1\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "The invoice total is 42 EUR.=0D=0AKind regards\r\n"
    "--b1\r\n"
    "Content-Type: application/pdf\r\n"
    "Content-Disposition: attachment; filename=\"Invoice-2024.PDF\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0xLjQK\r\n"
    "--b1--\r\n";

}  // namespace

TEST(RuleEval, HeaderKindsWithAndWithoutNot) {
  auto m = MakeMessage(kHeader);
  // Decoded values, letter case ignored unless asked for.
  EXPECT_TRUE(Holds(*m, L"Subject", ST::Contains, L"grüße aus"));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::Contains | ST::MatchCase, L"weekly report"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::Contains | ST::MatchCase, L"Weekly REPORT"));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::Contains | Not, L"weekly"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::StartsWith, L"grüße"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::StartsWith | Not, L"weekly"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::EndsWith, L"report"));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::EndsWith | Not, L"report"));
  EXPECT_TRUE(Holds(*m, L"from", ST::IsEqual, L"alice example <ALICE@example.org>"));
  EXPECT_TRUE(Holds(*m, L"From", ST::IsEqual | Not, L"alice"));
  EXPECT_TRUE(Holds(*m, L"X-Empty", ST::IsBlank, L""));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::IsBlank, L""));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::IsBlank | Not, L""));
  EXPECT_TRUE(Holds(*m, L"X-Empty", ST::IsPresent, L""));
  EXPECT_FALSE(Holds(*m, L"X-Missing", ST::IsPresent, L""));
  // An absent field is one value that does not satisfy the kind.
  EXPECT_TRUE(Holds(*m, L"X-Missing", ST::IsPresent | Not, L""));
  EXPECT_TRUE(Holds(*m, L"X-Missing", ST::IsBlank | Not, L""));
  EXPECT_FALSE(Holds(*m, L"X-Missing", ST::Contains, L""));
  EXPECT_TRUE(Holds(*m, L"X-Missing", ST::Contains | Not, L"x"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::Regex, L"Gr.+e\\s+aus"));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::Regex, L"^weekly"));
  EXPECT_TRUE(Holds(*m, L"Subject", ST::Regex | Not, L"^weekly"));
  EXPECT_TRUE(Holds(*m, L"To", ST::AddressCount, L"", 2));
  EXPECT_FALSE(Holds(*m, L"To", ST::AddressCount, L"", 3));
  EXPECT_TRUE(Holds(*m, L"To", ST::AddressCount | Not, L"", 3));
}

TEST(RuleEval, RepeatedFieldsAndNegation) {
  auto m = MakeMessage(kHeader);
  // One Received holds "relay", the other too; only the first holds "mx".
  EXPECT_TRUE(Holds(*m, L"Received", ST::Contains, L"relay.example"));
  EXPECT_FALSE(Holds(*m, L"Received", ST::Contains | Not, L"relay.example"));
  EXPECT_TRUE(Holds(*m, L"Received", ST::Contains | Not, L"by mx.example"));
  EXPECT_TRUE(Holds(*m, L"Received", ST::Contains, L"by mx.example"));
}

TEST(RuleEval, RawValuesAreUndecodedAndFoundOnlyAtLineStarts) {
  auto m = MakeMessage(kHeader);
  EXPECT_TRUE(Holds(*m, L"Subject", ST::Contains | ST::Raw, L"=?UTF-8?B?"));
  EXPECT_FALSE(Holds(*m, L"Subject", ST::Contains, L"=?UTF-8?B?"));
  // "Subject:" stands inside "X-Old-Subject:" too: only the real one counts.
  EXPECT_FALSE(Holds(*m, L"Subject", ST::Contains | ST::Raw, L"hidden"));
  auto only = MakeMessage("X-Old-Subject: hidden words\r\nFrom: a@b.c\r\n\r\n");
  EXPECT_FALSE(Holds(*only, L"Subject", ST::IsPresent | ST::Raw, L""));
  EXPECT_TRUE(Holds(*only, L"Subject", ST::IsPresent | ST::Raw | Not, L""));
}

TEST(RuleEval, SizeKinds) {
  auto small = MakeMessage(kHeader, nullptr, 800);
  auto large = MakeMessage(kHeader, nullptr, 5000);
  EXPECT_TRUE(Holds(*small, L"", ST::MinSize, L"", 1000));
  EXPECT_FALSE(Holds(*large, L"", ST::MinSize, L"", 1000));
  EXPECT_FALSE(Holds(*small, L"", ST::MaxSize, L"", 1000));
  EXPECT_TRUE(Holds(*large, L"", ST::MaxSize, L"", 1000));
}

TEST(RuleEval, BodyKindsOnADecodedMultipartMessage) {
  auto m = MakeMessage(kHeader, &kBody);
  EXPECT_TRUE(Holds(*m, L"", ST::BodyContains, L"INVOICE TOTAL"));
  EXPECT_FALSE(Holds(*m, L"", ST::BodyContains | ST::MatchCase, L"INVOICE TOTAL"));
  EXPECT_FALSE(Holds(*m, L"", ST::BodyContains | Not, L"invoice total"));
  EXPECT_TRUE(Holds(*m, L"", ST::BodyContains | Not, L"lottery"));
  EXPECT_TRUE(Holds(*m, L"", ST::BodyRegex, L"total is \\d+ EUR"));
  EXPECT_TRUE(Holds(*m, L"", ST::BodyRegex | Not, L"total is \\d+ USD"));
  EXPECT_TRUE(Holds(*m, L"", ST::HasAttachment, L"*.pdf"));
  EXPECT_TRUE(Holds(*m, L"", ST::HasAttachment, L"*.exe;*.pdf"));
  EXPECT_FALSE(Holds(*m, L"", ST::HasAttachment, L"*.exe"));
}

TEST(RuleEval, BodyConditionWithoutBodyDefersTheDecision) {
  auto m = MakeMessage(kHeader);
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"body", RR::MarkSpam).addSet().addCondition(L"", ST::BodyContains, L"invoice", 0);
  list->addRule(L"later", RR::MarkApproved).addSet();
  pw::RuleSnapshot snap(std::move(list));
  pw::StoreOutcome(nullptr, *m, pw::EvaluateRules(snap, *m));
  // The list stops at the undecided rule: the later rule did not run.
  EXPECT_EQ(m->Type(), pw::MessageType::Normal);
  EXPECT_TRUE(m->HasFlag(pw::MessageFlags::NeedBody));
  EXPECT_TRUE(m->HasFlag(pw::MessageFlags::Reevaluate));
  // The body arrives: the list runs again from the first rule.
  const std::string whole = kHeader + kBody;
  m->ClearFlags(pw::MessageFlags::NeedBody);
  pw::parseMessage(*m, whole.data(), whole.size());
  pw::StoreOutcome(nullptr, *m, pw::EvaluateRules(snap, *m));
  EXPECT_EQ(m->Type(), pw::MessageType::Spam);
  EXPECT_FALSE(m->HasFlag(pw::MessageFlags::Reevaluate));
}

TEST(RuleEval, ActionsOrderAndContinue) {
  auto m = MakeMessage(kHeader);
  auto list = std::make_unique<pw::RuleList>();
  pw::FilterRule& del = list->addRule(L"delete", RR::DeleteFromServer | RR::ContinueRules | RR::PlaySoundAction);
  wcscpy(del.soundFile, L"C:\\ding.wav");
  del.color = 0x0000FF;
  del.addSet().addCondition(L"From", ST::Contains, L"alice", 0);
  pw::FilterRule& ok = list->addRule(L"approve", RR::MarkApproved | RR::RunCommandAction | RR::MarkRead);
  wcscpy(ok.cmdLine, L"notify.exe");
  wcscpy(ok.icon, L"star.png");
  ok.runHidden = 1;
  ok.addSet();  // no conditions: every message
  list->addRule(L"never reached", RR::MarkSpam).addSet();
  auto o = pwtest::Run(std::move(list), *m);
  EXPECT_EQ(m->Type(), pw::MessageType::Approved);
  EXPECT_TRUE(m->HasFlag(pw::MessageFlags::Delete));
  EXPECT_TRUE(m->HasFlag(pw::MessageFlags::PlaySound));
  EXPECT_STREQ(m->ruleSound.Str(), L"C:\\ding.wav");
  EXPECT_TRUE(m->HasFlag(pw::MessageFlags::RunCommand));
  EXPECT_STREQ(m->command.Str(), L"notify.exe");
  EXPECT_EQ(m->commandHidden, 1u);
  EXPECT_FALSE(m->HasState(pw::MessageState::New));
  EXPECT_STREQ(m->icon.Str(), L"star.png");
  EXPECT_EQ(m->color, -1);  // the last matching rule's default colours
  EXPECT_STREQ(m->filterText.Str(), L"");  // a set without conditions describes nothing

  // A command that already ran for the message is not queued again.
  auto again = MakeMessage(kHeader);
  again->SetState(pw::MessageState::CommandRun);
  auto l2 = std::make_unique<pw::RuleList>();
  wcscpy(l2->addRule(L"cmd", RR::RunCommandAction).cmdLine, L"x.exe");
  l2->rules[0]->addSet();
  pwtest::Run(std::move(l2), *again);
  EXPECT_FALSE(again->HasFlag(pw::MessageFlags::RunCommand));
}

TEST(RuleEval, DescriptionsAndTheirCut) {
  pw::ConditionSet set;
  set.addCondition(L"Subject", ST::Contains | ST::MatchCase, L"Hello", 0);
  set.addCondition(L"X-Spam", ST::IsPresent, L"", 0);
  set.addCondition(L"", ST::MaxSize, L"", 5000);
  set.addCondition(L"To", ST::AddressCount, L"", 3);
  EXPECT_EQ(pw::describeSet(set),
            L"Subject Contains(MC) 'Hello' AND X-Spam Is present AND Max message size: 5000 AND "
            L"To Contains number of addresses more than 3");
  // An equal condition (letter case of texts ignored) is not added twice.
  EXPECT_FALSE(set.addCondition(L"SUBJECT", ST::Contains | ST::MatchCase, L"hello", 0));
  EXPECT_EQ(set.conditions.size(), 4u);

  const std::wstring longText(300, L'x');
  pw::ConditionSet first;
  first.addCondition(L"Subject", ST::Contains, longText.c_str(), 0);
  EXPECT_EQ(pw::describeSet(first), L"...");
  pw::ConditionSet second;
  second.addCondition(L"Subject", ST::Contains, L"a", 0);
  second.addCondition(L"Subject", ST::Contains, longText.c_str(), 0);
  EXPECT_EQ(pw::describeSet(second), L"Subject Contains 'a' AND ...");
  // An unknown code describes nothing.
  pw::Condition odd;
  odd.searchType = 0x0002;
  EXPECT_EQ(pw::describeCondition(first, odd), L"");
}

// A pattern that does not compile, or that runs out of its step budget,
// never holds, not even through NOT: a negated broken condition in a delete
// rule would otherwise delete every message.
TEST(RuleEvalMends, BrokenPatternsFailTheirSetOnce) {
  auto m = MakeMessage(kHeader, &kBody);
  for (uint32_t kind : {ST::Regex | Not, ST::Regex, ST::BodyRegex | Not}) {
    auto list = std::make_unique<pw::RuleList>();
    list->addRule(L"Delete all", RR::DeleteFromServer).addSet().addCondition(L"Subject", kind, L"(unclosed", 0);
    pw::RuleSnapshot snap(std::move(list));
    auto o1 = pw::EvaluateRules(snap, *m);
    auto o2 = pw::EvaluateRules(snap, *m);
    EXPECT_FALSE(o1.setFlags & pw::MessageFlags::Delete) << kind;
    ASSERT_EQ(o1.log.size(), 1u);
    EXPECT_NE(o1.log[0].find(L"Delete all"), std::wstring::npos);
    EXPECT_TRUE(o2.log.empty());  // said once
  }
  // Catastrophic backtracking on a long subject: the budget ends it.
  const std::string evil = "Subject: " + std::string(5000, 'a') + "!\r\n\r\n";
  auto slow = MakeMessage(evil);
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"Delete", RR::DeleteFromServer).addSet().addCondition(L"Subject", ST::Regex | Not, L"^(a|a|aa)*$", 0);
  pw::RuleSnapshot snap(std::move(list));
  auto o = pw::EvaluateRules(snap, *slow);
  EXPECT_FALSE(o.setFlags & pw::MessageFlags::Delete);
}

TEST(RuleEvalMends, UnknownKindsNeverHold) {
  auto m = MakeMessage(kHeader);
  for (uint32_t kind : {0x0002u, 0x000Bu, 0x000Fu, 0x0FFFu}) {
    EXPECT_FALSE(Holds(*m, L"Subject", kind, L"x")) << kind;
    EXPECT_FALSE(Holds(*m, L"Subject", kind | Not, L"x")) << kind;
  }
}

TEST(RuleEvalMends, QueuedRepliesAreLeftAlone) {
  auto reply = MakeMessage("From: me@example.org\r\nSubject: Re: hello\r\n\r\n");
  reply->SetType(pw::MessageType::Outgoing);
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"all", RR::MarkSpam | RR::DeleteFromServer).addSet();
  auto o = pwtest::Run(std::move(list), *reply);
  EXPECT_FALSE(o.ran);
  EXPECT_EQ(reply->Type(), pw::MessageType::Outgoing);
  EXPECT_FALSE(reply->HasFlag(pw::MessageFlags::Delete));
}

TEST(RuleSnapshot, ReplacedListStaysAliveForItsReaders) {
  pw::RuleBook book;
  auto first = std::make_unique<pw::RuleList>();
  first->addRule(L"one", RR::MarkSpam).addSet();
  book.Publish(std::move(first));
  std::shared_ptr<const pw::RuleSnapshot> held = book.Current();
  auto second = std::make_unique<pw::RuleList>();
  second->addRule(L"two", RR::MarkApproved).addSet();
  book.Publish(std::move(second));
  // The check that took the first list still reads it safely.
  EXPECT_STREQ(held->List().rules[0]->name, L"one");
  EXPECT_STREQ(book.Current()->List().rules[0]->name, L"two");
  auto copy = book.Copy();
  EXPECT_STREQ(copy->rules[0]->name, L"two");
}
