// Pipelined first checks against a real Dovecot (it announces PIPELINING):
// an owner asking for some bodies and some deletions gets the same reports,
// in the same order per message, as with pipelining turned off, and the
// maildir afterwards holds exactly the messages it kept.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "mail/SessionTest.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::Service;
using pwtest::SubjectOf;

namespace {

constexpr int kMessages = 300;

// Records, per subject, what the session handed over and in which order.
class OwnerSink : public RecordingSink {
 public:
  std::map<std::string, std::vector<std::string>> events;  // subject -> "H", "M", "D"
  std::map<std::string, std::string> subjectOf;            // uidl -> subject
  std::vector<std::string> order;                          // subjects of TOPs, as handed over

  int OnHeader(const char* uidl, const char* text) override {
    const std::string subject = SubjectOf(text);
    subjectOf[uidl] = subject;
    events[subject].push_back("H");
    order.push_back(subject);
    const int n = std::stoi(subject.substr(1));
    RecordingSink::OnHeader(uidl, text);
    if (n % 7 == 0) return static_cast<int>(pw::kActionDelete);
    if (n % 5 == 0) return static_cast<int>(pw::kActionBody);
    return static_cast<int>(pw::kActionNone);
  }
  int OnMessage(const char* uidl, const char* text) override {
    const std::string subject = subjectOf[uidl];
    events[subject].push_back("M");
    RecordingSink::OnMessage(uidl, text);
    // A body read through and found unwanted: deleted after all fetches.
    return std::stoi(subject.substr(1)) % 3 == 0 ? static_cast<int>(pw::kActionDelete)
                                                 : static_cast<int>(pw::kActionNone);
  }
  void OnDeleted(const char* uidl) override {
    events[subjectOf[uidl]].push_back("D");
    RecordingSink::OnDeleted(uidl);
  }
  // How often each kind of report came, message numbers left out.
  std::map<std::string, int> ReportCounts() const {
    std::map<std::string, int> counts;
    bool capa = false;
    for (const auto& l : log) {
      // CAPA and its reply are the pipelined check's only extra entries.
      if (l == "S4 CAPA" || (capa && l.rfind("S7 ", 0) == 0)) {
        capa = l == "S4 CAPA";
        continue;
      }
      const size_t space = l.find(' ');
      ++counts[l.substr(0, space)];
    }
    return counts;
  }
};

class Pop3PipelineTest : public pwtest::SessionTest {
 protected:
  // A fresh Dovecot with the same mailbox, checked once with `options`.
  void CheckFresh(OwnerSink& sink, uint32_t options, std::set<std::string>& left) {
    Service server("dovecot");
    ASSERT_TRUE(server.Ok()) << server.Error();
    for (int n = 1; n <= kMessages; ++n) AddMail(server, n, "m" + std::to_string(n), "body " + std::to_string(n));
    sink.onList = [](const std::string&) { return static_cast<int>(pw::kActionHeader); };
    ASSERT_EQ(Check(sink, server.Port(), options), 1);
    ASSERT_TRUE(sink.WaitClosed(60000)) << sink.Dump();
    session_.reset();
    // What the maildir holds now, by subject.
    const std::string listing = server.Dir() + "/left.txt";
    ASSERT_EQ(pwtest::RunLinux("grep -h '^Subject: ' " + server.Dir() + "/" + mailFolder_ + "/cur/* " + server.Dir() +
                               "/" + mailFolder_ + "/new/* 2>/dev/null | tr -d '\\r' > " + listing +
                               "; true"),
              0);
    const std::string text = pwtest::ReadLinuxFile(listing);
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t end = text.find('\n', pos);
      const std::string line = text.substr(pos, end - pos);
      if (line.size() > 9) left.insert(line.substr(9));
      if (end == std::string::npos) break;
      pos = end + 1;
    }
  }
};

}  // namespace

TEST_F(Pop3PipelineTest, SameReportsAsLockstepAndTheMaildirAfterwards) {
  OwnerSink lockstep, pipelined;
  std::set<std::string> leftLockstep, leftPipelined;
  CheckFresh(lockstep, pw::kOptionNoPipelining, leftLockstep);
  CheckFresh(pipelined, 0, leftPipelined);
  EXPECT_TRUE(lockstep.errors.empty()) << lockstep.Dump();
  EXPECT_TRUE(pipelined.errors.empty()) << pipelined.Dump();
  EXPECT_FALSE(lockstep.SentStartingWith("CAPA"));
  EXPECT_TRUE(pipelined.SentStartingWith("CAPA"));

  // Per message: header, then the body if asked, then the deletion.
  ASSERT_EQ(pipelined.events.size(), static_cast<size_t>(kMessages));
  EXPECT_EQ(pipelined.events, lockstep.events);
  EXPECT_EQ(pipelined.order, lockstep.order);  // headers in message order
  EXPECT_EQ(pipelined.ReportCounts(), lockstep.ReportCounts());
  EXPECT_EQ(pipelined.Count("S10"), 1);

  // Every deletion follows the last fetch; QUIT is last.
  size_t lastFetch = 0, firstDele = pipelined.sent.size();
  for (size_t i = 0; i < pipelined.sent.size(); ++i) {
    const std::string& s = pipelined.sent[i];
    if (s.rfind("TOP ", 0) == 0 || s.rfind("RETR ", 0) == 0) lastFetch = i;
    if (s.rfind("DELE ", 0) == 0 && firstDele == pipelined.sent.size()) firstDele = i;
  }
  EXPECT_LT(lastFetch, firstDele);
  EXPECT_EQ(pipelined.sent.back(), "QUIT");

  // The maildir keeps exactly the messages not deleted.
  std::set<std::string> expected;
  for (int n = 1; n <= kMessages; ++n)
    if (n % 7 != 0 && !(n % 5 == 0 && n % 3 == 0)) expected.insert("m" + std::to_string(n));
  EXPECT_EQ(leftPipelined, expected);
  EXPECT_EQ(leftLockstep, expected);
  EXPECT_EQ(pipelined.deleted.size(), static_cast<size_t>(kMessages) - expected.size());
}

TEST_F(Pop3PipelineTest, OneMessageToFetchAsksNoCapa) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "one", "body");
  AddMail(server, 2, "two", "body");
  RecordingSink sink;
  // Only the second is new: pipelining could not save a round trip.
  int seen = 0;
  sink.onList = [&](const std::string&) { return ++seen == 2 ? static_cast<int>(pw::kActionHeader) : 0; };
  ASSERT_EQ(Check(sink, server.Port(), 0), 1);
  ASSERT_TRUE(sink.WaitClosed()) << sink.Dump();
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"USER user", "*******", "STAT", "LIST", "UIDL", "TOP 2 0", "QUIT"}));
}
