// The POP3 conversation (RFC 1939; STLS from RFC 2595): log in, list the
// mailbox with STAT, LIST and UIDL, carry out what the account asks for each
// message (TOP n 0, RETR n, DELE n), then QUIT. All fetches come first, in
// message-number order; deletions follow, committed by the server at QUIT.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Md5.h"
#include "mail/MailSession.h"
#include "net/TlsLayer.h"

namespace pw {

namespace {

bool Positive(const std::string& reply) { return reply.size() >= 3 && _strnicmp(reply.c_str(), "+OK", 3) == 0; }

// The first line of a reply, for the log.
std::string FirstLine(const std::string& reply) {
  const size_t end = reply.find("\r\n");
  return end == std::string::npos ? reply : reply.substr(0, end);
}

// A decimal number at p (saturating); p moves past its digits.
uint32_t ReadNumber(const char*& p) {
  uint64_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<uint64_t>(*p++ - '0');
    if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

void SkipNonDigits(const char*& p, const char* end) {
  while (p < end && !(*p >= '0' && *p <= '9')) ++p;
}

// The APOP time stamp of a greeting: from the first '<' through the first
// '>' after it.
std::string TimeStamp(const std::string& greeting) {
  const size_t open = greeting.find('<');
  if (open == std::string::npos) return std::string();
  const size_t close = greeting.find('>', open);
  if (close == std::string::npos) return std::string();
  return greeting.substr(open, close - open + 1);
}

}  // namespace

const char* MailSession::CurrentUidl() const {
  if (current_ < 0 || static_cast<size_t>(current_) >= messages_.size()) return nullptr;
  return messages_[static_cast<size_t>(current_)].uidl.c_str();
}

void MailSession::Pop3Received() {
  bool multiLine = false;
  size_t limit = kMaxLineReply;
  switch (state_) {
    case kPop3Greeting: case kPop3Stls: case kPop3User: case kPop3Pass: case kPop3Apop:
    case kPop3Stat: case kPop3Dele: case kPop3Quit:
      break;
    case kPop3Pipeline:
      PipeReceived();
      return;
    case kPop3Capa:  // a few lines: an endless one is not collected
      multiLine = true;
      break;
    case kPop3List: case kPop3Uidl: case kPop3Retr:
      multiLine = true;
      limit = SIZE_MAX;
      break;
    case kPop3Top:
      multiLine = true;
      limit = kMaxHeaderReply;
      break;
    default:
      return;  // no reply expected: keep the bytes
  }
  std::string reply;
  if (!ReadReply(multiLine, limit, reply)) {
    if (state_ == kPop3Idle) return;  // too long: the session has ended
    SetTimer(1, timeout_);
    // A long message: read on at once if the last notification was cut
    // short; otherwise all there was has been read and Winsock tells when
    // more comes.
    if (state_ == kPop3Retr && readCut_) PostEvent(FD_REREAD);
    return;
  }
  Pop3Reply(reply);
}

void MailSession::Pop3Reply(std::string& reply) {
  const bool ok = Positive(reply);
  const std::string first = FirstLine(reply);
  switch (state_) {
    case kPop3Greeting:
      if (!ok) {
        Fail(kErrorConnect, 0, first.c_str());
        return;
      }
      apopStamp_ = TimeStamp(first);
      Status(kStatusReply, first.c_str());
      if (options_ & kOptionStartTls) {
        SetState(kPop3Stls);
        SendCommand("STLS", 1);
      } else {
        Pop3Login();
      }
      return;
    case kPop3Stls:
      if (!ok || !tlsLayer_) {
        // A refused STLS must never lead to a login in clear text: the
        // user asked for an encrypted connection (STARTTLS stripping). The
        // error's own text says why; the server's line is in the log.
        if (!ok) Status(kStatusTlsWarning, first.c_str());
        Error(kErrorTlsConnect, 0, nullptr);
        Pop3Quit();
        return;
      }
      Status(kStatusReply, first.c_str());
      // Anything the server sent after "+OK" was dropped with the reply;
      // from here on the bytes belong to the handshake, which gets a
      // time-out window of its own.
      SetTimer(1, timeout_);
      if (!tlsLayer_->Start()) {
        Fail(kErrorTlsConnect, 1, nullptr);
      }
      return;
    case kPop3User:
      if (!ok) break;
      Status(kStatusReply, first.c_str());
      SetState(kPop3Pass);
      SendCommand("PASS " + password_, 0);
      return;
    case kPop3Pass:
      if (!ok) break;
      Status(kStatusLoggedIn, nullptr);
      Status(kStatusReply, first.c_str());
      SetState(kPop3Stat);
      SendCommand("STAT", 1);
      return;
    case kPop3Apop:
      if (!ok) break;
      Status(kStatusReply, first.c_str());
      SetState(kPop3Stat);
      SendCommand("STAT", 1);
      return;
    case kPop3Stat: {
      if (!ok) break;
      Status(kStatusReply, first.c_str());
      const char* p = first.c_str();
      const char* end = p + first.size();
      SkipNonDigits(p, end);
      const uint32_t count = ReadNumber(p);
      SkipNonDigits(p, end);
      const uint32_t octets = ReadNumber(p);
      messages_.clear();
      // A count beyond what could ever be listed is not trusted blindly.
      messages_.resize(count > 10000000u ? 10000000u : count);
      if (sink_) sink_->OnMailboxSize(count, octets);
      if (!messages_.empty()) {
        SetState(kPop3List);
        SendCommand("LIST", 1);
        return;
      }
      if (sink_) {
        sink_->OnListEntry(nullptr, 0);
        sink_->OnListEntry(nullptr, 0xFFFFFFFFu);
      }
      Pop3Quit();
      return;
    }
    case kPop3List:
      if (!ok) break;
      Status(kStatusReply, first.c_str());
      Pop3Listing(reply, false);
      SetState(kPop3Uidl);
      SendCommand("UIDL", 1);
      return;
    case kPop3Uidl:
      if (!ok) break;
      Status(kStatusReply, first.c_str());
      Pop3Listing(reply, true);
      nextFetch_ = nextDelete_ = 0;
      if (sink_) {
        sink_->OnListEntry(nullptr, 0);
        for (auto& m : messages_) {
          // A message without an id cannot be told from the listing's
          // sentinels, nor recognised at the next check: it is skipped.
          if (!m.hasUidl) continue;
          m.action = static_cast<uint32_t>(sink_->OnListEntry(m.uidl.c_str(), m.size));
          if (state_ == kPop3Idle) return;
        }
        sink_->OnListEntry(nullptr, 0xFFFFFFFFu);
      }
      if (!(options_ & kOptionNoPipelining)) {
        // CAPA costs a round trip: only worth it when pipelining could save
        // at least one.
        size_t work = 0;
        for (const auto& m : messages_) work += m.action >= 1 && m.action <= 3;
        if (work >= 2) {
          SetState(kPop3Capa);
          SendCommand("CAPA", 1);
          return;
        }
      }
      Pop3NextAction();
      return;
    case kPop3Capa:
      // A refused CAPA is no fault: the server is older than RFC 2449.
      Status(kStatusReply, first.c_str());
      if (ok && AnnouncesPipelining(reply))
        PipeStart();
      else
        Pop3NextAction();
      return;
    case kPop3Top:
    case kPop3Retr:
      if (!ok) {
        const std::string uidl = CurrentUidl() ? CurrentUidl() : "";
        Error(kErrorCommand, 0, first.c_str());
        if (sink_) sink_->OnCommandFailed(uidl.c_str(), state_ == kPop3Top ? 1 : 2, first.c_str());
        Pop3Quit();
        return;
      }
      Status(kStatusReply, first.c_str());
      Pop3Fetched(reply, state_ == kPop3Top);
      return;
    case kPop3Dele: {
      if (current_ >= 0) messages_[static_cast<size_t>(current_)].action = 0;
      const std::string uidl = CurrentUidl() ? CurrentUidl() : "";
      if (!ok) {
        Error(kErrorCommand, 0, first.c_str());
        if (sink_) sink_->OnCommandFailed(uidl.c_str(), 3, first.c_str());
        Pop3Quit();
        return;
      }
      Status(kStatusReply, first.c_str());
      if (sink_) sink_->OnDeleted(uidl.c_str());
      Pop3NextAction();
      return;
    }
    case kPop3Quit:
      if (ok)
        Status(kStatusReply, first.c_str());
      else
        Error(kErrorCommand, 0, first.c_str());
      SetState(kPop3Idle);
      Close();
      return;
    default:
      return;
  }
  // A refused login or listing command.
  const bool login = state_ == kPop3User || state_ == kPop3Pass || state_ == kPop3Apop;
  Error(login ? kErrorLogin : kErrorCommand, 0, first.c_str());
  Pop3Quit();
}

void MailSession::Pop3Login() {
  Status(kStatusLogin, nullptr);
  if ((options_ & kOptionApop) && !apopStamp_.empty()) {
    // RFC 1939: the MD5 digest of the time stamp followed by the secret.
    const std::string secret = apopStamp_ + password_;
    SetState(kPop3Apop);
    SendCommand("APOP " + user_ + " " + Md5::Hex(secret.data(), secret.size()), 1);
    return;
  }
  SetState(kPop3User);
  SendCommand("USER " + user_, 1);
}

void MailSession::Pop3Quit() {
  Status(kStatusQuitting, nullptr);
  SetState(kPop3Quit);
  SendCommand("QUIT", 1);
}

// LIST lines: "number size"; UIDL lines: "number id" (RFC 1939). Numbers
// outside the STAT count are ignored.
void MailSession::Pop3Listing(const std::string& reply, bool uidl) {
  size_t pos = reply.find("\r\n");
  while (pos != std::string::npos) {
    const size_t start = pos + 2;
    size_t end = reply.find("\r\n", start);
    const size_t lineEnd = end == std::string::npos ? reply.size() : end;
    const char* p = reply.c_str() + start;
    const char* stop = reply.c_str() + lineEnd;
    const uint32_t number = ReadNumber(p);
    if (number >= 1 && number <= messages_.size()) {
      ServerMessage& m = messages_[number - 1];
      if (uidl) {
        while (p < stop && (*p == ' ' || *p == '\t')) ++p;
        const char* idEnd = p;
        while (idEnd < stop && *idEnd != '\r') ++idEnd;
        if (idEnd > p) {
          m.uidl.assign(p, idEnd);
          m.hasUidl = true;
        }
      } else {
        SkipNonDigits(p, stop);
        if (p < stop) m.size = ReadNumber(p);
      }
    }
    pos = end;
  }
}

void MailSession::Pop3Fetched(std::string& reply, bool header) {
  if (Pop3HandOver(reply, header)) Pop3NextAction();
}

bool MailSession::Pop3HandOver(std::string& reply, bool header) {
  const size_t index = static_cast<size_t>(current_);
  messages_[index].action = 0;
  const size_t lineEnd = reply.find("\r\n");
  if (lineEnd != std::string::npos && sink_) {
    // From the CR LF that ends the status line; the last line keeps its CR
    // LF. Handed over in place: a RETR reply may be the size of the message.
    reply += "\r\n";
    const std::string uidl = messages_[index].uidl;
    const char* text = reply.c_str() + lineEnd;
    const int next = header ? sink_->OnHeader(uidl.c_str(), text) : sink_->OnMessage(uidl.c_str(), text);
    if (state_ == kPop3Idle) return false;
    messages_[index].action = static_cast<uint32_t>(next);
  }
  return true;
}

// CAPA lists one capability per line after the status line (RFC 2449).
bool MailSession::AnnouncesPipelining(const std::string& capa) {
  size_t pos = capa.find("\r\n");
  while (pos != std::string::npos) {
    const size_t start = pos + 2;
    pos = capa.find("\r\n", start);
    const size_t length = (pos == std::string::npos ? capa.size() : pos) - start;
    if (length >= 10 && _strnicmp(capa.c_str() + start, "PIPELINING", 10) == 0 &&
        (length == 10 || capa[start + 10] == ' '))
      return true;
  }
  return false;
}

// After the listing only the current entry's action changes, and the walks
// stop at the current entry: each resumes there instead of starting over
// for every one of thousands of messages.
void MailSession::Pop3NextAction() {
  char number[16];
  for (size_t i = nextFetch_; i < messages_.size(); ++i) {
    const uint32_t action = messages_[i].action;
    if (action != 1 && action != 2) continue;
    nextFetch_ = i;
    current_ = static_cast<int>(i);
    snprintf(number, sizeof(number), "%u", static_cast<unsigned>(i + 1));
    if (action == 1) {
      Status(kStatusTop, number);
      SetState(kPop3Top);
      SendCommand(std::string("TOP ") + number + " 0", 1);
    } else {
      Status(kStatusRetr, number);
      SetState(kPop3Retr);
      SendCommand(std::string("RETR ") + number, 1);
    }
    return;
  }
  nextFetch_ = messages_.size();
  for (size_t i = nextDelete_; i < messages_.size(); ++i) {
    if (messages_[i].action != 3) continue;
    nextDelete_ = i;
    current_ = static_cast<int>(i);
    snprintf(number, sizeof(number), "%u", static_cast<unsigned>(i + 1));
    Status(kStatusDele, number);
    SetState(kPop3Dele);
    SendCommand(std::string("DELE ") + number, 1);
    return;
  }
  nextDelete_ = messages_.size();
  Pop3Quit();
}

}  // namespace pw
