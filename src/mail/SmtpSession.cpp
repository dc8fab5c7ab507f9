// The SMTP conversation (RFC 5321): greeting, EHLO (HELO when EHLO is not
// understood), STARTTLS (RFC 3207) and EHLO again inside TLS, AUTH (RFC
// 4954: CRAM-MD5 of RFC 2195, PLAIN of RFC 4616, LOGIN), then one MAIL FROM,
// RCPT TO, DATA and text per message the account hands over, and RSET and
// QUIT at the end. A refused message is followed by RSET and the session
// stays ready for the next one. Whenever no command is outstanding the reply
// time-out still runs, so a session never waits for nothing.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "base/Base64Coder.h"
#include "base/HmacMd5.h"
#include "mail/MailSession.h"
#include "net/TlsLayer.h"

namespace pw {

namespace {

constexpr UINT kReplyTimer = 1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Case-insensitive search of a word (bounded by blanks, '=' or the ends).
bool HasWord(const std::string& line, size_t from, const char* word) {
  const size_t n = strlen(word);
  for (size_t i = from; i + n <= line.size(); ++i) {
    if (_strnicmp(line.c_str() + i, word, n) != 0) continue;
    const bool startOk = i == from || line[i - 1] == ' ' || line[i - 1] == '=';
    const bool endOk = i + n == line.size() || line[i + n] == ' ';
    if (startOk && endOk) return true;
  }
  return false;
}

// A host name of letters, digits and hyphens in dot-separated labels, with
// at least one dot (RFC 5321 4.1.2 Domain; RFC 1123 labels).
bool ValidHostName(const char* name) {
  size_t label = 0, dots = 0;
  char previous = '.';
  for (const char* p = name; *p; ++p) {
    const char c = *p;
    if (c == '.') {
      if (label == 0 || previous == '-') return false;
      label = 0;
      ++dots;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-') {
      if (label == 0 && c == '-') return false;
      if (++label > 63) return false;
    } else {
      return false;
    }
    previous = c;
  }
  return dots > 0 && label > 0 && previous != '-' && strlen(name) <= 253;
}

// An envelope address: no blanks, brackets or line breaks, and an '@'
// between a local part and a domain.
bool UsableAddress(const std::string& address) {
  if (address.empty() || address.size() > 254) return false;
  for (const char c : address)
    if (static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>' || c == 0x7f) return false;
  const size_t at = address.rfind('@');
  return at != std::string::npos && at > 0 && at + 1 < address.size();
}

std::string Trimmed(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::string out = text.substr(b, e - b);
  if (out.size() >= 2 && out.front() == '<' && out.back() == '>') out = out.substr(1, out.size() - 2);
  return out;
}

}  // namespace

std::string MailSession::DataText(const char* text) {
  std::string out;
  if (!text) return out;
  const size_t length = strlen(text);
  out.reserve(length + length / 32 + 2);
  bool lineStart = true;
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < length && text[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = false;
  }
  if (!lineStart) out += "\r\n";
  return out;
}

UINT MailSession::ReplyTimeout() const {
  if (state_ != kSmtpText) return timeout_;
  // The server may scan the whole message before it answers: it gets the
  // account's time-out again, plus as long as the text took to send.
  const ULONGLONG sending = textStarted_ ? GetTickCount64() - textStarted_ : 0;
  const ULONGLONG total = 2ull * timeout_ + sending;
  return total > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<UINT>(total);
}

void MailSession::SmtpReceived() {
  switch (state_) {
    case kSmtpConnect: case kSmtpReady: case kPop3Idle: case kSmtpTlsHandshake:
      return;  // no reply expected: keep the bytes
    default:
      break;
  }
  const int code = ReadSmtpReply();
  if (code == 0) {
    if (state_ != kPop3Idle) SetTimer(kReplyTimer, ReplyTimeout());
    return;
  }
  SmtpReply(code);
}

// Replies (RFC 5321 4.2): lines "ddd-text" continue, the line "ddd text" or
// "ddd" ends. The whole buffer is consumed by a complete reply, so bytes a
// server sends ahead (after its 220 to STARTTLS, say) are dropped.
int MailSession::ReadSmtpReply() {
  // searchFrom_ is where the first line not yet complete begins.
  size_t start = searchFrom_;
  for (;;) {
    const size_t end = buffer_.find("\r\n", start);
    if (end == std::string::npos) {
      searchFrom_ = start;
      if (buffer_.size() > kMaxLineReply) {
        const std::string sofar = buffer_.substr(0, 256);
        Fail(kErrorReceive, 0, sofar.c_str());
      }
      return 0;
    }
    const bool last = end - start < 4 || buffer_[start + 3] != '-';
    start = end + 2;
    if (last) break;
  }
  replyLines_.clear();
  replyText_.clear();
  int code = -1;
  size_t pos = 0;
  while (pos < start) {
    const size_t end = buffer_.find("\r\n", pos);
    std::string line = buffer_.substr(pos, end - pos);
    pos = end + 2;
    Status(kStatusSmtpLine, line.c_str());
    if (pos >= start) {
      if (line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
          (line.size() == 3 || line[3] == ' ' || line[3] == '-'))
        code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
      replyText_ = line.size() > 4 ? line.substr(4) : std::string();
    }
    replyLines_.push_back(std::move(line));
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  searchFrom_ = 0;
  return code;
}

void MailSession::SmtpReply(int code) {
  const std::string line = replyLines_.empty() ? std::string() : replyLines_.back();
  switch (state_) {
    case kSmtpGreeting: {
      if (code != 220) {
        Fail(kErrorConnect, 0, line.c_str());
        return;
      }
      // Each command is written whole and waits for its reply: holding the
      // last piece of a text back for an ACK (Nagle) only adds the peer's
      // delayed-ACK time to every message.
      const BOOL noDelay = TRUE;
      setsockopt(GetSocketHandle(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof(noDelay));
      SmtpHello(true);
      return;
    }
    case kSmtpEhlo:
      if (code == 250) {
        SmtpCapabilities();
        if ((options_ & kOptionStartTls) && !tlsActive_) {
          SetState(kSmtpStartTls);
          SendCommand("STARTTLS", 1);
          return;
        }
        SmtpAuthenticate();
        return;
      }
      // A server that does not know EHLO answers 500 or 502: it gets HELO.
      if (code >= 500 && code <= 504 && !tlsActive_) {
        SmtpHello(false);
        return;
      }
      Fail(kErrorConnect, 0, line.c_str());
      return;
    case kSmtpHelo:
      if (code != 250) {
        Fail(kErrorConnect, 0, line.c_str());
        return;
      }
      offeredAuth_ = 0;
      if ((options_ & kOptionStartTls) && !tlsActive_) {
        // No extensions, so no STARTTLS: never go on in the clear.
        Error(kErrorTlsConnect, 0, nullptr);
        SmtpQuit();
        return;
      }
      SmtpReady();
      return;
    case kSmtpStartTls:
      if (code != 220 || !tlsLayer_) {
        // Refused STARTTLS must never lead to AUTH or mail in the clear: the
        // user asked for an encrypted connection (STARTTLS stripping).
        Status(kStatusTlsWarning, line.c_str());
        Error(kErrorTlsConnect, 0, nullptr);
        SmtpQuit();
        return;
      }
      SetState(kSmtpTlsHandshake);
      if (!tlsLayer_->Start()) Fail(kErrorTlsConnect, 1, nullptr);
      return;
    case kSmtpAuthLogin:
      if (code == 334) {
        SmtpLoginPrompt();
        return;
      }
      if (code == 235) {
        SmtpReady();
        return;
      }
      Fail(kErrorLogin, 0, line.c_str());
      return;
    case kSmtpAuthPlain:
    case kSmtpAuthCramAnswer:
      if (code == 235) {
        SmtpReady();
        return;
      }
      Fail(kErrorLogin, 0, line.c_str());
      return;
    case kSmtpAuthCram:
      if (code == 334) {
        SmtpCramChallenge();
        return;
      }
      Fail(kErrorLogin, 0, line.c_str());
      return;
    case kSmtpAuthCancel:
      // The server's answer to "*" (501) ends the exchange either way.
      Fail(kErrorLogin, 0, line.c_str());
      return;
    case kSmtpMailFrom:
      if (code != 250) {
        rcptRefusal_ = line;
        SmtpRefused();
        return;
      }
      rcptNext_ = rcptAccepted_ = 0;
      rcptRefusal_.clear();
      SmtpNextRecipient();
      return;
    case kSmtpRcptTo:
      if (code == 250 || code == 251) {
        ++rcptAccepted_;
      } else {
        // One refused recipient never stops the others. A permanent refusal
        // outweighs a temporary one only when nothing temporary is left.
        Error(kErrorCommand, 0, line.c_str());
        if (rcptRefusal_.empty() || (!line.empty() && line[0] == '4')) rcptRefusal_ = line;
      }
      SmtpNextRecipient();
      return;
    case kSmtpData:
      if (code != 354) {
        rcptRefusal_ = line;
        SmtpRefused();
        return;
      }
      Status(kStatusSmtpText, nullptr);
      SetState(kSmtpText);
      textStarted_ = GetTickCount64();
      SendCommand(mailText_, -1, ".\r\n");
      mailText_.clear();
      mailText_.shrink_to_fit();
      return;
    case kSmtpText:
      textStarted_ = 0;
      if (code != 250) {
        rcptRefusal_ = line;
        SmtpRefused();
        return;
      }
      Status(kStatusSmtpAccepted, nullptr);
      if (state_ == kSmtpText) SmtpReady();
      return;
    case kSmtpRsetRefused:
      if (code != 250) {
        Error(kErrorCommand, 0, line.c_str());
        SmtpQuit();
        return;
      }
      SmtpReady();
      return;
    case kSmtpRset:
      if (code != 250) {
        Error(kErrorCommand, 0, line.c_str());
        SmtpQuit();
        return;
      }
      SmtpQuit();
      return;
    case kSmtpQuit:
      if (code != 221 && code != 250) Error(kErrorCommand, 0, line.c_str());
      SetState(kPop3Idle);
      Close();
      return;
    default:
      return;
  }
}

// The name we give in EHLO: the machine's DNS name when it is a valid
// fully qualified host name, else the address literal of our end of the
// connection (RFC 5321 4.1.3). A NetBIOS name may hold an underscore,
// which servers refuse.
std::string MailSession::EhloName() {
  char name[256] = {};
  DWORD size = sizeof(name);
  if (GetComputerNameExA(ComputerNameDnsFullyQualified, name, &size) && ValidHostName(name)) return name;
  sockaddr_storage local = {};
  int length = sizeof(local);
  char text[64] = {};
  if (getsockname(GetSocketHandle(), reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    if (local.ss_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(&local);
      if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text))) return std::string("[") + text + "]";
    } else if (local.ss_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&local);
      if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text))) return std::string("[IPv6:") + text + "]";
    }
  }
  return "[127.0.0.1]";
}

void MailSession::SmtpHello(bool extended) {
  offeredAuth_ = 0;
  authMethod_ = kAuthNone;
  SetState(extended ? kSmtpEhlo : kSmtpHelo);
  SendCommand((extended ? "EHLO " : "HELO ") + EhloName(), 1);
}

// The EHLO keywords after the first line (RFC 5321 4.1.1.1): AUTH with its
// mechanisms (also the old "AUTH=" form).
void MailSession::SmtpCapabilities() {
  offeredAuth_ = 0;
  for (size_t i = 1; i < replyLines_.size(); ++i) {
    const std::string& l = replyLines_[i];
    if (l.size() < 9 || _strnicmp(l.c_str() + 4, "AUTH", 4) != 0 || (l[8] != ' ' && l[8] != '=')) continue;
    if (HasWord(l, 9, "CRAM-MD5")) offeredAuth_ |= 1u << kAuthCramMd5;
    if (HasWord(l, 9, "PLAIN")) offeredAuth_ |= 1u << kAuthPlain;
    if (HasWord(l, 9, "LOGIN")) offeredAuth_ |= 1u << kAuthLogin;
  }
}

// Only a mechanism the server offered, and only with a user name: a server
// that offers none gets no AUTH, and the mail goes on without it (relays
// that know the sender's address accept it).
void MailSession::SmtpAuthenticate() {
  authMethod_ = kAuthNone;
  if (user_.empty()) {
    SmtpReady();
    return;
  }
  if (offeredAuth_ & (1u << kAuthCramMd5))
    authMethod_ = kAuthCramMd5;
  else if (offeredAuth_ & (1u << kAuthPlain))
    authMethod_ = kAuthPlain;
  else if (offeredAuth_ & (1u << kAuthLogin))
    authMethod_ = kAuthLogin;
  switch (authMethod_) {
    case kAuthCramMd5:
      SetState(kSmtpAuthCram);
      SendCommand("AUTH CRAM-MD5", 1);
      return;
    case kAuthPlain: {
      // RFC 4616: authorisation id (empty), NUL, user, NUL, password.
      std::string secret;
      secret += '\0';
      secret += user_;
      secret += '\0';
      secret += password_;
      Base64Coder coder;
      coder.Encode(secret.data(), secret.size());
      SecureZeroMemory(secret.data(), secret.size());
      SetState(kSmtpAuthPlain);
      Status(kStatusSent, "AUTH PLAIN *******");
      SendCommand(std::string("AUTH PLAIN ") + coder.GetOutput(), -1);
      return;
    }
    case kAuthLogin:
      loginStep_ = 0;
      SetState(kSmtpAuthLogin);
      SendCommand("AUTH LOGIN", 1);
      return;
    default:
      SmtpReady();
      return;
  }
}

// AUTH LOGIN prompts are "Username:" and "Password:" in Base64; a server
// with other wording is answered by the order of its prompts, and a third
// prompt ends the exchange with "*".
void MailSession::SmtpLoginPrompt() {
  Base64Coder decoder;
  decoder.DecodeString(replyText_.c_str());
  const std::string prompt(decoder.GetOutput(), decoder.GetOutputLength());
  int step = loginStep_;
  if (_stricmp(prompt.c_str(), "username:") == 0) step = 0;
  if (_stricmp(prompt.c_str(), "password:") == 0) step = 1;
  if (loginStep_ >= 2 || step < loginStep_) {
    SetState(kSmtpAuthCancel);
    SendCommand("*", 1);
    return;
  }
  loginStep_ = step + 1;
  Base64Coder coder;
  coder.EncodeString(step == 0 ? user_.c_str() : password_.c_str());
  SendCommand(coder.GetOutput(), 0);
}

void MailSession::SmtpCramChallenge() {
  std::string digest;
  if (!replyText_.empty()) {
    Base64Coder decoder;
    decoder.DecodeString(replyText_.c_str());
    HmacMd5Hex(password_.data(), password_.size(), decoder.GetOutput(), decoder.GetOutputLength(), digest);
  }
  if (digest.empty()) {
    // No challenge, or no MD5 on this system: the exchange is cancelled.
    SetState(kSmtpAuthCancel);
    SendCommand("*", 1);
    return;
  }
  Base64Coder coder;
  const std::string answer = user_ + " " + digest;
  coder.Encode(answer.data(), answer.size());
  SetState(kSmtpAuthCramAnswer);
  SendCommand(coder.GetOutput(), 0);
}

void MailSession::SmtpTlsReady() {
  tlsActive_ = true;
  // RFC 3207 4.2: what the server said before TLS is forgotten; servers
  // that offer AUTH only inside TLS say so now.
  SmtpHello(true);
}

void MailSession::SmtpReady() {
  SetState(kSmtpReady);
  SetTimer(kReplyTimer, timeout_);  // an account that never answers still ends the session
  Status(kStatusSmtpReady, nullptr);
}

void MailSession::SmtpQuit() {
  Status(kStatusQuitting, nullptr);
  SetState(kSmtpQuit);
  const int sent = SendCommand("QUIT", 1);
  // Nothing follows QUIT, so a direct plain connection is shut for sending
  // at once: some servers hold the 221 back until the client's FIN comes,
  // or a fixed pause (200 ms) ends. The reply is still read. Through TLS
  // the close_notify must come first, and a proxy may end the whole tunnel
  // on a half-close, losing the reply.
  if (sent == 6 && !tlsActive_ && !proxyLayer_) ShutDown(SD_SEND);
}

void MailSession::SmtpNextRecipient() {
  if (rcptNext_ < rcptTo_.size()) {
    SetState(kSmtpRcptTo);
    SendCommand("RCPT TO:<" + rcptTo_[rcptNext_++] + ">", 1);
    return;
  }
  if (rcptAccepted_ == 0) {
    SmtpRefused();
    return;
  }
  SetState(kSmtpData);
  SendCommand("DATA", 1);
}

// The message was not taken: the account learns the server's line (a 4xx
// keeps it queued, a 5xx marks it failed); RSET clears the transaction and
// the next message may follow.
void MailSession::SmtpRefused() {
  mailText_.clear();
  const std::string line = rcptRefusal_.empty() ? std::string("554") : rcptRefusal_;
  if (state_ != kSmtpRcptTo) Error(kErrorCommand, 0, line.c_str());
  Status(kStatusSmtpRefused, line.c_str());
  if (state_ == kPop3Idle) return;
  SetState(kSmtpRsetRefused);
  SendCommand("RSET", 1);
}

int MailSession::SendMail(const char* from, const char* to, const char* text) {
  if (!smtp_ || state_ != kSmtpReady) return 0;
  const std::string sender = Trimmed(from ? from : "");
  std::vector<std::string> recipients;
  const std::string list = to ? to : "";
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find_first_of(",;", pos);
    if (end == std::string::npos) end = list.size();
    const std::string one = Trimmed(list.substr(pos, end - pos));
    if (!one.empty()) {
      if (!UsableAddress(one)) return 0;
      recipients.push_back(one);
    }
    pos = end + 1;
  }
  if (!UsableAddress(sender) || recipients.empty()) return 0;
  mailFrom_ = sender;
  rcptTo_ = std::move(recipients);
  rcptNext_ = rcptAccepted_ = 0;
  rcptRefusal_.clear();
  mailText_ = DataText(text);
  Status(kStatusSmtpMailFrom, nullptr);
  SetState(kSmtpMailFrom);
  SendCommand("MAIL FROM:<" + mailFrom_ + ">", 1);
  return 1;
}

int MailSession::EndMail() {
  if (!smtp_ || state_ != kSmtpReady) return 0;
  SetState(kSmtpRset);
  SendCommand("RSET", 1);
  return 1;
}

}  // namespace pw
