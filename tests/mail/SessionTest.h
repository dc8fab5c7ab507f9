// The base of the POP3 conversation tests: one session at a time, reporting
// to a RecordingSink, and messages dropped into a server's maildir.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "support/Services.h"

namespace pwtest {

// Message `n` as a file in `folder` under the server's directory, with `eol`
// as its line end.
inline void DropMail(const Service& server, const std::string& folder, const std::string& eol, int n,
                     const std::string& subject, const std::string& body) {
  const std::string path = server.Dir() + "/" + folder + "/new/" + std::to_string(1700000000 + n) + ".M" +
                           std::to_string(n) + "P1.test";
  const std::string text = "From: a@example.org" + eol + "To: user@example.org" + eol + "Subject: " + subject + eol +
                           eol + body + eol;
  ASSERT_TRUE(WriteNewLinuxFile(path, text)) << path;
}

class SessionTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kTimeout = 10000;

  // Message `n` dropped where and as the suite's server keeps its mail.
  void AddMail(const Service& server, int n, const std::string& subject, const std::string& body) const {
    DropMail(server, mailFolder_, eol_, n, subject, body);
  }

  // A new session to host:port (null: the suite's host) as the suite's
  // user; the session's own result.
  int Check(RecordingSink& sink, int port, uint32_t options, const wchar_t* password = L"secret",
            const wchar_t* host = nullptr) {
    session_ = std::make_unique<pw::MailSession>();
    session_->SetSink(&sink);
    return session_->ConnectPop3(host ? host : host_, static_cast<uint32_t>(port), options, user_, password,
                                 kTimeout);
  }

  // A certificate that was neither verified nor pinned: the session ends
  // with 305 after STLS, before any user name goes out.
  static void ExpectCertificateRefusedAfterStls(RecordingSink& sink) {
    ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTlsCertificate}) << sink.Dump();
    EXPECT_EQ(sink.sent, std::vector<std::string>{"STLS"});
    EXPECT_EQ(sink.Count("S10"), 1);
  }

  // STLS refused by the server: 302, then QUIT, and no credentials.
  static void ExpectRefusedStls(RecordingSink& sink) {
    ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTlsConnect}) << sink.Dump();
    EXPECT_EQ(sink.Count("E302 0"), 1) << sink.Dump();
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"STLS", "QUIT"}));
    EXPECT_EQ(sink.Count("S10"), 1);
  }

  // Set by each suite for its server.
  const wchar_t* user_ = L"user";
  const wchar_t* host_ = L"127.0.0.1";
  std::string mailFolder_ = "home/user/Maildir";
  std::string eol_ = "\r\n";
  std::unique_ptr<pw::MailSession> session_;
};

}  // namespace pwtest
