// A session sink that records every report as one text line and answers the
// listing and fetches as a test tells it to.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mail/MailSession.h"
#include "support/Pump.h"

namespace pwtest {

class RecordingSink : public pw::IMailSessionSink {
 public:
  std::vector<std::string> log;         // "S7 +OK ..." / "E105 0 -ERR ..." / ...
  std::vector<std::string> sent;        // texts of OnStatus(4)
  std::map<std::string, std::string> headers, bodies;
  std::vector<std::string> listed, deleted, failed;
  std::vector<uint32_t> errors;
  uint32_t mailboxCount = 0xFFFFFFFFu;
  int closes = 0;
  std::function<int(const std::string&)> onList = [](const std::string&) { return 0; };
  std::function<int(const std::string&)> onHeader = [](const std::string&) { return 0; };
  std::function<int(const std::string&)> onMessage = [](const std::string&) { return 0; };

  void OnStatus(uint32_t code, const char* text) override {
    log.push_back("S" + std::to_string(code) + (text ? " " + std::string(text) : ""));
    if (code == pw::kStatusSent) sent.push_back(text ? text : "");
    if (code == pw::kStatusClosed) ++closes;
  }
  void OnError(uint32_t code, uint32_t param, const char* text) override {
    errors.push_back(code);
    log.push_back("E" + std::to_string(code) + " " + std::to_string(param) + (text ? " " + std::string(text) : ""));
  }
  void OnMailboxSize(uint32_t count, uint32_t) override { mailboxCount = count; }
  int OnListEntry(const char* uidl, uint32_t size) override {
    if (!uidl) {
      listed.push_back(size == 0 ? "<begin>" : "<end>");
      return 0;
    }
    listed.push_back(uidl);
    return onList(uidl);
  }
  int OnHeader(const char* uidl, const char* text) override {
    headers[uidl] = text;
    return onHeader(uidl);
  }
  int OnMessage(const char* uidl, const char* text) override {
    bodies[uidl] = text;
    return onMessage(uidl);
  }
  void OnDeleted(const char* uidl) override { deleted.push_back(uidl); }
  void OnCommandFailed(const char* uidl, int command, const char* text) override {
    failed.push_back(std::to_string(command) + " " + uidl);
  }

  // How often a report line occurs in the log.
  int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }

  bool WaitClosed(DWORD ms = 15000) { return PumpUntil([&] { return closes > 0; }, ms); }
  bool SentStartingWith(const std::string& prefix) const {
    for (const auto& s : sent)
      if (s.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::string Dump() const {
    std::string out;
    for (const auto& l : log) out += l.substr(0, 200) + "\n";
    return out;
  }
};

// What a header text says its subject is.
inline std::string SubjectOf(const std::string& header) {
  const size_t at = header.find("Subject: ");
  if (at == std::string::npos) return std::string();
  return header.substr(at + 9, header.find_first_of("\r\n", at) - at - 9);
}

}  // namespace pwtest
