// A Dovecot that refuses USER and PASS before TLS. Dovecot counts a client
// that connects from the listening address itself as secure, so it listens
// on 127.0.0.2 while the session comes from 127.0.0.1. Its log records, per
// connection, whether a user name was tried ("user=<user>") or not
// ("user=<>"), which shows from the server's side what the session sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "mail/SessionTest.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::Service;

namespace {

class Pop3StlsRequiredTest : public pwtest::SessionTest {
 protected:
  Pop3StlsRequiredTest() { host_ = L"127.0.0.2"; }

  // The login process's line for a client that said QUIT before logging in
  // (the start-up probe only connects and closes); empty if none came.
  static std::string QuitLine(const Service& server) {
    std::string found;
    pwtest::PumpUntil(
        [&] {
          std::istringstream in(pwtest::ReadLinuxFile(server.Dir() + "/dovecot.log"));
          std::string line;
          while (std::getline(in, line))
            if (line.find("pop3-login") != std::string::npos && line.find("logging out") != std::string::npos)
              found = line;
          return !found.empty();
        },
        5000);
    return found;
  }
};

}  // namespace

TEST_F(Pop3StlsRequiredTest, PlainLoginRefusedThenAcceptedAfterStls) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service server("dovecot", {{"listen", "127.0.0.2"}, {"plaintext", "no"}, {"certdir", certs.Dir()}});
  ASSERT_TRUE(server.Ok()) << server.Error();

  // In clear text the user name is refused: the server's line is the
  // error, the password never goes out, and the session ends with QUIT.
  RecordingSink plain;
  ASSERT_EQ(Check(plain, server.Port(), 0), 1);
  ASSERT_TRUE(plain.WaitClosed()) << plain.Dump();
  ASSERT_EQ(plain.errors, std::vector<uint32_t>{pw::kErrorLogin}) << plain.Dump();
  EXPECT_EQ(plain.Count("E105 0 -ERR [AUTH] Plaintext authentication disallowed on non-secure (SSL/TLS) connections."),
            1)
      << plain.Dump();
  EXPECT_EQ(plain.sent, (std::vector<std::string>{"USER user", "QUIT"}));
  EXPECT_TRUE(plain.listed.empty());
  EXPECT_EQ(plain.Count("S10"), 1);
  const std::string line = QuitLine(server);
  EXPECT_NE(line.find("user=<user>"), std::string::npos) << line;  // the log does show a tried name
  EXPECT_NE(line.find("rip=127.0.0.1, lip=127.0.0.2"), std::string::npos) << line;

  // After STLS the same login is accepted.
  RecordingSink secure;
  ASSERT_EQ(Check(secure, server.Port(), pw::kOptionStartTls), 1);
  ASSERT_TRUE(secure.WaitClosed()) << secure.Dump();
  EXPECT_TRUE(secure.errors.empty()) << secure.Dump();
  ASSERT_GE(secure.sent.size(), 3u) << secure.Dump();
  EXPECT_EQ(secure.sent[0], "STLS");
  EXPECT_EQ(secure.sent[1], "USER user");
  EXPECT_EQ(secure.Count("S11"), 1);
  EXPECT_EQ(secure.Count("S21"), 1);
  EXPECT_EQ(secure.listed, (std::vector<std::string>{"<begin>", "<end>"}));

  // And with TLS from the first byte.
  RecordingSink implicit;
  ASSERT_EQ(Check(implicit, server.Port("pop3s"), pw::kOptionTls), 1);
  ASSERT_TRUE(implicit.WaitClosed()) << implicit.Dump();
  EXPECT_TRUE(implicit.errors.empty()) << implicit.Dump();
  EXPECT_EQ(implicit.listed, (std::vector<std::string>{"<begin>", "<end>"}));
}

TEST_F(Pop3StlsRequiredTest, RefusedStlsEndsWith302AndNoUserName) {
  // Without a certificate this Dovecot answers STLS with "-ERR".
  Service server("dovecot", {{"listen", "127.0.0.2"}, {"plaintext", "no"}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  RecordingSink sink;
  ASSERT_EQ(Check(sink, server.Port(), pw::kOptionStartTls), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedStls(sink));
  // The server's side: this client logged out without naming a user.
  const std::string line = QuitLine(server);
  ASSERT_FALSE(line.empty()) << pwtest::ReadLinuxFile(server.Dir() + "/dovecot.log");
  EXPECT_NE(line.find("no auth attempts"), std::string::npos) << line;
  EXPECT_NE(line.find("user=<>"), std::string::npos) << line;
  EXPECT_EQ(pwtest::ReadLinuxFile(server.Dir() + "/dovecot.log").find("user=<user>"), std::string::npos);
}
