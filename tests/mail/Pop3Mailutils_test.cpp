// POP3 checks against a second, independent server, GNU mailutils pop3d: the
// main conversations, APOP, STLS and TLS. Its transcript shows from the
// server's side what the session sent, so a refused STLS or an unverified
// certificate is proved to have let no user name or password out.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "base/Md5.h"
#include "base/Scoped.h"
#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "mail/SessionTest.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::SubjectOf;
using pwtest::Service;

namespace {

const wchar_t kUser[] = L"user@example.org";

class Pop3MailutilsTest : public pwtest::SessionTest {
 protected:
  // pop3d reads LF lines from its maildir.
  Pop3MailutilsTest() {
    user_ = kUser;
    mailFolder_ = "home/user/INBOX";
    eol_ = "\n";
  }

  // What the server's transcript says it received, in order (the password
  // is masked by the server as "PASS ***").
  static std::vector<std::string> Received(const Service& server) {
    std::vector<std::string> lines;
    std::istringstream in(pwtest::ReadLinuxFile(server.Dir() + "/pop3d.log"));
    std::string line;
    while (std::getline(in, line)) {
      const size_t at = line.find("pop3d: C: ");
      if (at != std::string::npos) lines.push_back(line.substr(at + 10));
    }
    return lines;
  }

  static bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
};

}  // namespace

TEST_F(Pop3MailutilsTest, FetchesInOrderAndDeletesAfterEveryFetch) {
  Service server("mailutils");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "first body");
  AddMail(server, 2, "two", "second body\n.dotted line");
  AddMail(server, 3, "three", "third body");
  RecordingSink sink;
  std::map<std::string, std::string> uidls;  // subject -> uidl
  sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionHeader); };
  sink.onHeader = [&](const std::string& uidl) {
    const std::string subject = SubjectOf(sink.headers[uidl]);
    uidls[subject] = uidl;
    if (subject == "one") return static_cast<int>(pw::kActionDelete);
    if (subject == "two") return static_cast<int>(pw::kActionBody);
    return static_cast<int>(pw::kActionNone);
  };
  // Deciding on the whole message may delete it too: still after every fetch.
  sink.onMessage = [](const std::string&) { return static_cast<int>(pw::kActionDelete); };
  ASSERT_EQ(Check(sink, server.Port(), 0), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.mailboxCount, 3u);
  ASSERT_EQ(sink.listed.size(), 5u) << sink.Dump();
  ASSERT_EQ(uidls.size(), 3u) << sink.Dump();
  for (const auto& [uidl, text] : sink.headers) {
    EXPECT_EQ(text.rfind("\r\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n") << text;
    EXPECT_EQ(text.find("body"), std::string::npos) << text;
  }
  ASSERT_EQ(sink.bodies.size(), 1u);
  const std::string& body = sink.bodies[uidls["two"]];
  EXPECT_NE(body.find("\r\n\r\nsecond body\r\n..dotted line\r\n"), std::string::npos) << body;  // no unstuffing
  EXPECT_EQ(sink.deleted, (std::vector<std::string>{uidls["one"], uidls["two"]}));
  // From the server's side: pop3d announces PIPELINING, so the TOPs go out
  // together, the RETR the header asked for follows the TOPs in flight, and
  // both deletions follow the last fetch, in number order.
  const std::vector<std::string> expected = {"USER user@example.org", "PASS ***", "STAT", "LIST", "UIDL", "CAPA",
                                             "TOP 1 0", "TOP 2 0", "TOP 3 0", "RETR 2", "DELE 1", "DELE 2",
                                             "QUIT"};
  EXPECT_EQ(Received(server), expected);
  EXPECT_EQ(sink.Count("S10"), 1);
  EXPECT_EQ(sink.Count("S21"), 1);
  EXPECT_EQ(sink.Count("S22 3"), 1);
  EXPECT_EQ(sink.Count("S23 2"), 1);
  EXPECT_EQ(sink.Count("S24 2"), 1);

  // Committed at QUIT; the survivor keeps its id.
  RecordingSink again;
  ASSERT_EQ(Check(again, server.Port(), 0), 1);
  ASSERT_TRUE(again.WaitClosed()) << again.Dump();
  EXPECT_TRUE(again.errors.empty()) << again.Dump();
  EXPECT_EQ(again.listed, (std::vector<std::string>{"<begin>", uidls["three"], "<end>"}));
}

TEST_F(Pop3MailutilsTest, WrongPasswordThenEmptyMailbox) {
  Service server("mailutils");
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink refused;
  ASSERT_EQ(Check(refused, server.Port(), 0, L"wrong"), 1);
  ASSERT_TRUE(refused.WaitClosed()) << refused.Dump();
  ASSERT_EQ(refused.errors, std::vector<uint32_t>{pw::kErrorLogin}) << refused.Dump();
  EXPECT_EQ(refused.Count("E105 0 -ERR [AUTH] Bad login"), 1) << refused.Dump();
  EXPECT_EQ(refused.sent, (std::vector<std::string>{"USER user@example.org", "*******", "QUIT"}));
  EXPECT_TRUE(refused.listed.empty());
  EXPECT_EQ(refused.Count("S10"), 1);

  RecordingSink empty;
  ASSERT_EQ(Check(empty, server.Port(), 0), 1);
  ASSERT_TRUE(empty.WaitClosed()) << empty.Dump();
  EXPECT_TRUE(empty.errors.empty()) << empty.Dump();
  EXPECT_EQ(empty.mailboxCount, 0u);
  EXPECT_EQ(empty.listed, (std::vector<std::string>{"<begin>", "<end>"}));
  EXPECT_EQ(empty.sent, (std::vector<std::string>{"USER user@example.org", "*******", "STAT", "QUIT"}));
}

TEST_F(Pop3MailutilsTest, ApopWithTheGreetingsTimeStamp) {
  Service server("mailutils");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionApop), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.listed.size(), 3u) << sink.Dump();
  EXPECT_EQ(sink.Count("S21"), 0);  // no "password accepted" after APOP
  // The digest of this greeting's time stamp and the secret.
  std::string greeting;
  for (const auto& l : sink.log)
    if (greeting.empty() && l.rfind("S7 +OK", 0) == 0) greeting = l.substr(3);
  const size_t open = greeting.find('<');
  ASSERT_NE(open, std::string::npos) << greeting;
  const std::string secret = greeting.substr(open, greeting.find('>', open) - open + 1) + "secret";
  const std::string apop = "APOP user@example.org " + pw::Md5::Hex(secret.data(), secret.size());
  ASSERT_FALSE(sink.sent.empty());
  EXPECT_EQ(sink.sent[0], apop);
  const std::vector<std::string> received = Received(server);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0], apop);
  EXPECT_FALSE(AnyStartsWith(received, "USER"));
  EXPECT_FALSE(AnyStartsWith(received, "PASS"));

  RecordingSink wrong;
  ASSERT_EQ(Check(wrong, server.Port(), pw::kOptionApop, L"wrong"), 1);
  ASSERT_TRUE(wrong.WaitClosed()) << wrong.Dump();
  EXPECT_EQ(wrong.errors, std::vector<uint32_t>{pw::kErrorLogin}) << wrong.Dump();
  EXPECT_EQ(wrong.sent.back(), "QUIT");
}

TEST_F(Pop3MailutilsTest, StlsAndTlsWithAVerifiedCertificate) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("mailutils", {{"certdir", certs.Dir()}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionBody); };
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls, L"secret", L"localhost"), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.Count("S11"), 1);
  ASSERT_EQ(sink.bodies.size(), 1u) << sink.Dump();
  EXPECT_NE(sink.bodies.begin()->second.find("\r\n\r\nbody\r\n"), std::string::npos);
  const std::vector<std::string> received = Received(server);
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0], "STLS");
  EXPECT_EQ(received[1], "USER user@example.org");
  EXPECT_EQ(received.back(), "QUIT");

  RecordingSink implicit;
  ASSERT_EQ(Check(implicit, server.Port("pop3s"), pw::kOptionTls, L"secret", L"localhost"), 1);
  ASSERT_TRUE(implicit.WaitClosed()) << implicit.Dump();
  EXPECT_TRUE(implicit.errors.empty()) << implicit.Dump();
  ASSERT_FALSE(implicit.sent.empty());
  EXPECT_EQ(implicit.sent[0], "USER user@example.org");
  EXPECT_EQ(implicit.listed.size(), 3u) << implicit.Dump();
}

TEST_F(Pop3MailutilsTest, UnverifiedCertificateGetsNoCredentials) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("mailutils", {{"certdir", certs.Dir()}, {"cert", "selfsigned"}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls, L"secret", L"localhost"), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectCertificateRefusedAfterStls(sink));
  pwtest::PumpFor(300);  // the server logs what it got before it notices the end
  EXPECT_EQ(Received(server), std::vector<std::string>{"STLS"});
}

TEST_F(Pop3MailutilsTest, RefusedStlsSendsNoCredentials) {
  Service server("mailutils");  // no certificate: STLS is refused
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedStls(sink));
  // The server's own record: STLS, then QUIT, and nothing in between.
  EXPECT_EQ(Received(server), (std::vector<std::string>{"STLS", "QUIT"}));
}
