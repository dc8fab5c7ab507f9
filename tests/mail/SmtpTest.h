// The base of the SMTP conversation tests: a sink that hands the session one
// queued message per "ready" report and ends the pass when none is left,
// and the delivered files of an Exim maildir read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace pwtest {

struct Outgoing {
  std::string from, to, text;
};

class SmtpSink : public RecordingSink {
 public:
  pw::MailSession* session = nullptr;
  std::vector<Outgoing> queue;
  size_t next = 0;
  std::vector<std::string> results;  // per message: "sent" or the refusal line
  bool ended = false;

  void OnStatus(uint32_t code, const char* text) override {
    RecordingSink::OnStatus(code, text);
    if (code == pw::kStatusSmtpAccepted) results.push_back("sent");
    if (code == pw::kStatusSmtpRefused) results.push_back(text ? text : "");
    if (code != pw::kStatusSmtpReady || !session) return;
    while (next < queue.size()) {
      const Outgoing& m = queue[next++];
      if (session->SendMail(m.from.c_str(), m.to.c_str(), m.text.c_str())) return;
      results.push_back("unusable");
    }
    ended = session->EndMail() != 0;
  }
};

// Files delivered into `dir`/maildir/new, oldest first (by the time each
// was written, then by name: Exim's file names do not sort in delivery
// order within one second). Messages of one session may be delivered by
// processes that overlap, so their order among themselves is not certain.
inline std::vector<std::string> Delivered(const std::string& dir) {
  std::vector<std::pair<uint64_t, std::string>> names;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = WindowsPath(dir + "/maildir/new") + L"\\*";
  HANDLE h = FindFirstFileW(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return {};
  do {
    if (found.cFileName[0] == L'.') continue;
    std::wstring w = found.cFileName;
    const uint64_t written = uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32 | found.ftLastWriteTime.dwLowDateTime;
    names.emplace_back(written, std::string(w.begin(), w.end()));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  std::vector<std::string> texts;
  for (const auto& n : names) texts.push_back(ReadLinuxFile(dir + "/maildir/new/" + n.second));
  return texts;
}

// Waits until `count` files are delivered (Exim delivers in a process of
// its own, just after it answered the text).
inline std::vector<std::string> WaitDelivered(const std::string& dir, size_t count, DWORD ms = 10000) {
  std::vector<std::string> texts;
  PumpUntil([&] {
    texts = Delivered(dir);
    return texts.size() >= count;
  }, ms);
  return texts;
}

// The body of a delivered file: after the first empty line, LF line ends.
inline std::string BodyOf(const std::string& file) {
  const size_t at = file.find("\n\n");
  return at == std::string::npos ? std::string() : file.substr(at + 2);
}

class SmtpTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kTimeout = 10000;

  // Runs one whole pass to host:port; false when the session did not start.
  bool Pass(SmtpSink& sink, int port, uint32_t options, const wchar_t* user = L"", const wchar_t* password = L"",
            uint32_t timeout = kTimeout) {
    session_ = std::make_unique<pw::MailSession>();
    sink.session = session_.get();
    session_->SetSink(&sink);
    if (proxyKind_)
      session_->SetProxy(L"127.0.0.1", static_cast<uint32_t>(proxyPort_), proxyKind_, proxyUser_, proxyPassword_);
    if (!session_->ConnectSmtp(L"127.0.0.1", static_cast<uint32_t>(port), options, user, password, timeout))
      return false;
    return sink.WaitClosed(timeout + 10000);
  }

  static Outgoing Message(const std::string& to, const std::string& subject, const std::string& body,
                          const std::string& from = "sender@example.org") {
    return {from, to,
            "From: <" + from + ">\r\nTo: <" + to + ">\r\nSubject: " + subject + "\r\nMessage-ID: <" + subject +
                "@example.org>\r\n\r\n" + body};
  }

  std::unique_ptr<pw::MailSession> session_;
  int proxyPort_ = 0;
  uint32_t proxyKind_ = 0;
  const wchar_t* proxyUser_ = nullptr;
  const wchar_t* proxyPassword_ = nullptr;
};

}  // namespace pwtest
