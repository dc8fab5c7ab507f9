// POP3 checks against a real Dovecot: login, listing, TOP/RETR/DELE in the
// order the account asks, APOP, STLS and TLS with certificate decisions, a
// proxy in front, and the error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "account/MailAccount.h"
#include "base/Scoped.h"
#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "mail/SessionFactory.h"
#include "mail/SessionTest.h"
#include "net/ProxyLayer.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::SubjectOf;
using pwtest::Service;

namespace {

// Dovecot: maildir with CR LF lines, user "user".
class Pop3Test : public pwtest::SessionTest {};

}  // namespace

TEST_F(Pop3Test, FetchesAsAskedAndDeletesLast) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "first body");
  AddMail(server, 2, "two", "second body");
  AddMail(server, 3, "three", "third body\r\n.dotted line");
  RecordingSink sink;
  std::map<std::string, std::string> subjects;
  sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionHeader); };
  sink.onHeader = [&](const std::string& uidl) {
    const std::string subject = SubjectOf(sink.headers[uidl]);
    subjects[subject] = uidl;
    if (subject == "one") return static_cast<int>(pw::kActionDelete);  // deleted only after every fetch
    if (subject == "three") return static_cast<int>(pw::kActionBody);
    return static_cast<int>(pw::kActionNone);
  };
  ASSERT_EQ(Check(sink, server.Port(), 0), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_EQ(sink.listed.size(), 5u) << sink.Dump();
  EXPECT_EQ(sink.listed.front(), "<begin>");
  EXPECT_EQ(sink.listed.back(), "<end>");
  EXPECT_EQ(sink.mailboxCount, 3u);
  ASSERT_EQ(sink.headers.size(), 3u);
  for (const auto& [uidl, text] : sink.headers) {
    EXPECT_EQ(text.rfind("\r\n", 0), 0u) << text;  // from the status line's CR LF
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n") << text;
    EXPECT_EQ(text.find("body"), std::string::npos);
  }
  ASSERT_EQ(sink.bodies.size(), 1u);
  const std::string& body = sink.bodies[subjects["three"]];
  EXPECT_NE(body.find("third body\r\n..dotted line\r\n"), std::string::npos) << body;  // no unstuffing
  EXPECT_EQ(sink.deleted, std::vector<std::string>{subjects["one"]});
  // Every fetch precedes the deletion; QUIT is last.
  // Dovecot announces pipelining: the TOPs go out together after CAPA.
  std::vector<std::string> expected = {"USER user", "*******", "STAT", "LIST", "UIDL", "CAPA", "TOP 1 0", "TOP 2 0",
                                       "TOP 3 0"};
  ASSERT_GE(sink.sent.size(), expected.size() + 3);
  EXPECT_EQ(std::vector<std::string>(sink.sent.begin(), sink.sent.begin() + 9), expected);
  EXPECT_EQ(sink.sent.back(), "QUIT");
  EXPECT_EQ(sink.sent[sink.sent.size() - 2].rfind("DELE ", 0), 0u);
  EXPECT_EQ(sink.sent[sink.sent.size() - 3].rfind("RETR ", 0), 0u);
  EXPECT_EQ(sink.Count("S10"), 1);
  EXPECT_EQ(sink.Count("S21"), 1);

  // The deletion was committed at QUIT.
  RecordingSink again;
  ASSERT_EQ(Check(again, server.Port(), 0), 1);
  ASSERT_TRUE(again.WaitClosed());
  EXPECT_EQ(again.mailboxCount, 2u);
  EXPECT_EQ(again.listed.size(), 4u);
}

TEST_F(Pop3Test, WrongPasswordAndEmptyMailbox) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink refused;
  ASSERT_EQ(Check(refused, server.Port(), 0, L"wrong"), 1);
  ASSERT_TRUE(refused.WaitClosed()) << refused.Dump();
  ASSERT_EQ(refused.errors, std::vector<uint32_t>{pw::kErrorLogin}) << refused.Dump();
  EXPECT_EQ(refused.sent.back(), "QUIT");
  EXPECT_FALSE(refused.SentStartingWith("STAT"));
  EXPECT_TRUE(refused.listed.empty());
  EXPECT_EQ(refused.Count("S10"), 1);
  // The server's line comes with the error.
  for (const auto& l : refused.log) {
    if (l.rfind("E105", 0) == 0) {
      EXPECT_NE(l.find("-ERR"), std::string::npos) << l;
    }
  }

  RecordingSink empty;
  ASSERT_EQ(Check(empty, server.Port(), 0), 1);
  ASSERT_TRUE(empty.WaitClosed()) << empty.Dump();
  EXPECT_TRUE(empty.errors.empty()) << empty.Dump();
  EXPECT_EQ(empty.listed, (std::vector<std::string>{"<begin>", "<end>"}));
  EXPECT_FALSE(empty.SentStartingWith("LIST"));
  EXPECT_FALSE(empty.SentStartingWith("UIDL"));
  EXPECT_EQ(empty.sent.back(), "QUIT");
}

TEST_F(Pop3Test, ApopWithTheGreetingsTimeStamp) {
  Service server("dovecot", {{"apop", "1"}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionApop), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_FALSE(sink.sent.empty());
  EXPECT_EQ(sink.sent[0].rfind("APOP user ", 0), 0u) << sink.Dump();
  EXPECT_EQ(sink.sent[0].size(), 10u + 32u);
  EXPECT_FALSE(sink.SentStartingWith("USER"));
  EXPECT_FALSE(sink.SentStartingWith("*******"));
  EXPECT_EQ(sink.Count("S21"), 0);  // no "password accepted" after APOP
  EXPECT_EQ(sink.listed.size(), 3u);

  RecordingSink wrong;
  ASSERT_EQ(Check(wrong, server.Port(), pw::kOptionApop, L"wrong"), 1);
  ASSERT_TRUE(wrong.WaitClosed()) << wrong.Dump();
  EXPECT_EQ(wrong.errors, std::vector<uint32_t>{pw::kErrorLogin}) << wrong.Dump();
}

TEST_F(Pop3Test, ApopChosenButNoTimeStamp) {
  // Without APOP among its mechanisms Dovecot's greeting has no time stamp.
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionApop), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_GE(sink.sent.size(), 2u);
  EXPECT_EQ(sink.sent[0], "USER user");
  EXPECT_EQ(sink.sent[1], "*******");
  EXPECT_FALSE(sink.SentStartingWith("APOP"));
  EXPECT_EQ(sink.Count("S21"), 1);
  EXPECT_EQ(sink.listed.size(), 3u);
}

TEST_F(Pop3Test, RefusedRetrEndsWithQuitBeforeAnyDeletion) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "first body");
  AddMail(server, 2, "two", "second body");
  RecordingSink sink;
  sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionBody); };
  // While message 1 is being read, another client takes message 2 away; its
  // RETR is then refused by the server itself.
  sink.onMessage = [&](const std::string&) {
    if (sink.bodies.size() == 1) {
      for (const char* sub : {"/home/user/Maildir/new/", "/home/user/Maildir/cur/"}) {
        const std::wstring dir = pwtest::WindowsPath(server.Dir() + sub);
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((dir + L"1700000002*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        DeleteFileW((dir + found.cFileName).c_str());
        FindClose(find);
      }
    }
    return static_cast<int>(pw::kActionDelete);
  };
  // Lockstep: a pipelined RETR 2 would be answered before the file goes.
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionNoPipelining), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  ASSERT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorCommand}) << sink.Dump();
  ASSERT_EQ(sink.listed.size(), 4u) << sink.Dump();
  EXPECT_EQ(sink.failed, std::vector<std::string>{"2 " + sink.listed[2]}) << sink.Dump();
  EXPECT_EQ(sink.bodies.size(), 1u);
  // Message 1 was to be deleted after the fetches; the refusal ends the
  // session first, so no DELE goes out.
  EXPECT_FALSE(sink.SentStartingWith("DELE"));
  EXPECT_TRUE(sink.deleted.empty());
  ASSERT_GE(sink.sent.size(), 2u);
  EXPECT_EQ(sink.sent[sink.sent.size() - 2], "RETR 2");
  EXPECT_EQ(sink.sent.back(), "QUIT");
  EXPECT_EQ(sink.Count("S10"), 1);

  RecordingSink again;
  ASSERT_EQ(Check(again, server.Port(), 0), 1);
  ASSERT_TRUE(again.WaitClosed()) << again.Dump();
  EXPECT_EQ(again.listed, (std::vector<std::string>{"<begin>", sink.listed[1], "<end>"}));
}

TEST_F(Pop3Test, StlsWithAVerifiedCertificate) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("dovecot", {{"certdir", certs.Dir()}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls, L"secret", L"localhost"), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_GE(sink.sent.size(), 2u);
  EXPECT_EQ(sink.sent[0], "STLS");
  EXPECT_EQ(sink.sent[1], "USER user");
  EXPECT_EQ(sink.Count("S11"), 1);
  EXPECT_EQ(sink.listed.size(), 3u);

  // The same server with TLS from the first byte.
  RecordingSink implicit;
  ASSERT_EQ(Check(implicit, server.Port("pop3s"), pw::kOptionTls, L"secret", L"localhost"), 1);
  ASSERT_TRUE(implicit.WaitClosed()) << implicit.Dump();
  EXPECT_TRUE(implicit.errors.empty()) << implicit.Dump();
  ASSERT_FALSE(implicit.sent.empty());
  EXPECT_EQ(implicit.sent[0], "USER user");
  EXPECT_EQ(implicit.listed.size(), 3u);
}

TEST_F(Pop3Test, LargeMessageArrivesWhole) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  std::string body;
  const std::string line(76, 'q');
  while (body.size() < 8 * 1024 * 1024) body += line + "\r\n";
  body += "last";
  AddMail(server, 1, "big", body);
  RecordingSink sink;
  sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionBody); };
  const ULONGLONG start = GetTickCount64();
  ASSERT_EQ(Check(sink, server.Port(), 0), 1);
  ASSERT_TRUE(sink.WaitClosed(60000)) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_EQ(sink.bodies.size(), 1u);
  const std::string& text = sink.bodies.begin()->second;
  EXPECT_NE(text.find("Subject: big\r\n\r\n" + line), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 8), "\r\nlast\r\n");
  EXPECT_GT(text.size(), body.size());
  EXPECT_LT(GetTickCount64() - start, 20000u);  // linear assembly
}

TEST_F(Pop3Test, StlsWithAnUnverifiedCertificateSendsNoLogin) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("dovecot", {{"certdir", certs.Dir()}, {"cert", "expired"}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls, L"secret", L"localhost"), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectCertificateRefusedAfterStls(sink));
}

TEST_F(Pop3Test, UnverifiedCertificateRefusedUntilPinned) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("dovecot", {{"certdir", certs.Dir()}, {"cert", "selfsigned"}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink refused;
  ASSERT_EQ(Check(refused, server.Port("pop3s"), pw::kOptionTls, L"secret", L"localhost"), 1);
  ASSERT_TRUE(refused.WaitClosed()) << refused.Dump();
  EXPECT_EQ(refused.errors, std::vector<uint32_t>{pw::kErrorTlsCertificate}) << refused.Dump();
  EXPECT_TRUE(refused.sent.empty()) << refused.Dump();
  // The log names the fingerprint, so the user can pin it.
  const std::string fingerprint = certs.Fingerprint("selfsigned");
  bool named = false;
  for (const auto& l : refused.log) named = named || (l.rfind("S13", 0) == 0 && l.find(fingerprint) != std::string::npos);
  EXPECT_TRUE(named) << refused.Dump();
  EXPECT_EQ(refused.Count("S10"), 1);

  // Another certificate's pin does not help; this one's does.
  RecordingSink other;
  session_ = std::make_unique<pw::MailSession>();
  session_->SetSink(&other);
  const std::string otherPin = certs.Fingerprint("good");
  session_->SetPinnedFingerprint(std::wstring(otherPin.begin(), otherPin.end()).c_str());
  ASSERT_EQ(session_->ConnectPop3(L"localhost", server.Port("pop3s"), pw::kOptionTls, L"user", L"secret", kTimeout), 1);
  ASSERT_TRUE(other.WaitClosed());
  EXPECT_EQ(other.errors, std::vector<uint32_t>{pw::kErrorTlsCertificate}) << other.Dump();

  RecordingSink pinned;
  session_ = std::make_unique<pw::MailSession>();
  session_->SetSink(&pinned);
  session_->SetPinnedFingerprint(std::wstring(fingerprint.begin(), fingerprint.end()).c_str());
  ASSERT_EQ(session_->ConnectPop3(L"localhost", server.Port("pop3s"), pw::kOptionTls, L"user", L"secret", kTimeout), 1);
  ASSERT_TRUE(pinned.WaitClosed()) << pinned.Dump();
  EXPECT_TRUE(pinned.errors.empty()) << pinned.Dump();
  EXPECT_EQ(pinned.listed, (std::vector<std::string>{"<begin>", "<end>"}));
}

TEST_F(Pop3Test, ThroughASocks5Proxy) {
  Service proxy("microsocks");
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  RecordingSink sink;
  session_ = std::make_unique<pw::MailSession>();
  session_->SetSink(&sink);
  session_->SetProxy(L"127.0.0.1", proxy.Port(), pw::kProxySocks5, nullptr, nullptr);
  ASSERT_EQ(session_->ConnectPop3(L"127.0.0.1", server.Port(), 0, L"user", L"secret", kTimeout), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.listed.size(), 3u);
}

TEST(SessionTexts, CodesWithAndWithoutNumbers) {
  EXPECT_EQ(pw::SessionErrorText(102, 10061), L"Impossible to connect to the server (10061)");
  EXPECT_EQ(pw::SessionErrorText(104, 0), L"Operation timeout");
  EXPECT_EQ(pw::SessionErrorText(207, 3), L"Proxy server error (3)");
  EXPECT_EQ(pw::SessionErrorText(305, 8), L"SSL certificate failed (8)");
  EXPECT_EQ(pw::SessionErrorText(101, 0), L"The server closed the connection");
  EXPECT_EQ(pw::SessionErrorText(10, 10054), L"The server closed the connection (10054)");
}
