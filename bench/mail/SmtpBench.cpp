// Quick replies against Exim on loopback: the plug-in's MailSession (pumped
// on this thread like the checker thread) against a minimal blocking
// Winsock client sending the same commands, in the same run:
//  1. one reply, whole session, plain; and with STARTTLS and CRAM-MD5;
//  2. 100 queued replies in one pass;
//  3. one 1 MiB body;
//  4. composing a reply (no network).
// Each ratio is taken against the baseline runs around it: the machine is
// shared and rates drift.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "account/QuickReply.h"
#include "base/Scoped.h"
#include "common/BenchSupport.h"
#include "mail/MailSession.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace {

struct Outgoing {
  std::string from, to, text;
};

class Sink final : public pw::IMailSessionSink {
 public:
  pw::MailSession* session = nullptr;
  const std::vector<Outgoing>* queue = nullptr;
  size_t next = 0, sent = 0;
  double acceptedAt = 0;  // when the last message was taken
  bool closed = false, failed = false;

  void OnStatus(uint32_t code, const char*) override {
    if (code == pw::kStatusSmtpAccepted) {
      ++sent;
      acceptedAt = Now();
    }
    if (code == pw::kStatusClosed) closed = true;
    if (code != pw::kStatusSmtpReady) return;
    if (next < queue->size()) {
      const Outgoing& m = (*queue)[next++];
      session->SendMail(m.from.c_str(), m.to.c_str(), m.text.c_str());
    } else {
      session->EndMail();
    }
  }
  void OnError(uint32_t, uint32_t, const char*) override { failed = true; }
  void OnMailboxSize(uint32_t, uint32_t) override {}
  int OnListEntry(const char*, uint32_t) override { return 0; }
  int OnHeader(const char*, const char*) override { return 0; }
  int OnMessage(const char*, const char*) override { return 0; }
  void OnDeleted(const char*) override {}
  void OnCommandFailed(const char*, int, const char*) override {}
};

// One whole pass of the plug-in's session; seconds, or -1. *accepted: the
// time until the last message was taken (before RSET and QUIT).
double PluginPass(int port, uint32_t options, const wchar_t* user, const std::vector<Outgoing>& queue,
                  double* accepted = nullptr) {
  pw::MailSession session;
  Sink sink;
  sink.session = &session;
  sink.queue = &queue;
  session.SetSink(&sink);
  const double t0 = Now();
  if (!session.ConnectSmtp(L"127.0.0.1", static_cast<uint32_t>(port), options, user, L"secret", 30000)) return -1;
  if (!pwtest::PumpUntil([&] { return sink.closed; }, 120000)) return -1;
  const double t = Now() - t0;
  if (accepted) *accepted = sink.acceptedAt - t0;
  return sink.failed || sink.sent != queue.size() ? -1 : t;
}

// The baseline: blocking Winsock, the same commands, no TLS, no AUTH.
class MinimalSmtp {
 public:
  ~MinimalSmtp() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  bool Open(int port) {
    s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = htons(static_cast<u_short>(port));
    return connect(s_, reinterpret_cast<sockaddr*>(&sin), sizeof(sin)) == 0 && Reply() == 220;
  }
  // The code of the next reply (multi-line replies read whole), or 0.
  int Reply() {
    for (;;) {
      size_t start = 0;
      for (size_t end; (end = buffer_.find("\r\n", start)) != std::string::npos; start = end + 2) {
        if (end - start < 4 || buffer_[start + 3] != '-') {
          const int code = atoi(buffer_.substr(start, 3).c_str());
          buffer_.erase(0, end + 2);
          return code;
        }
      }
      char chunk[4096];
      const int n = recv(s_, chunk, sizeof(chunk), 0);
      if (n <= 0) return 0;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  int Command(const std::string& line) {
    const std::string out = line + "\r\n";
    return SendAll(out) ? Reply() : 0;
  }
  // QUIT, shut for sending, then the reply (as the plug-in ends a plain
  // session: Exim 4.96 holds its 221 until the client's FIN or 200 ms).
  int QuitHalfClosed() {
    if (!SendAll("QUIT\r\n") || shutdown(s_, SD_SEND) != 0) return 0;
    return Reply();
  }
  bool SendAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const int n = send(s_, bytes.data() + done, static_cast<int>(std::min<size_t>(bytes.size() - done, 65536)), 0);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  SOCKET s_ = INVALID_SOCKET;
  std::string buffer_;
};

double MinimalPass(int port, const std::vector<Outgoing>& queue, bool halfClose = true) {
  const double t0 = Now();
  MinimalSmtp c;
  if (!c.Open(port) || c.Command("EHLO [127.0.0.1]") != 250) return -1;
  for (const auto& m : queue) {
    if (c.Command("MAIL FROM:<" + m.from + ">") != 250 || c.Command("RCPT TO:<" + m.to + ">") != 250 ||
        c.Command("DATA") != 354)
      return -1;
    if (!c.SendAll(pw::MailSession::DataText(m.text.c_str()) + ".\r\n") || c.Reply() != 250) return -1;
  }
  if (c.Command("RSET") != 250 || (halfClose ? c.QuitHalfClosed() : c.Command("QUIT")) != 221) return -1;
  return Now() - t0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

Outgoing Message(int i, size_t bodyBytes) {
  std::string body;
  while (body.size() < bodyBytes) body += "Line of the reply, with some words in it to fill it up " + std::to_string(i) + ".\r\n";
  return {"user@example.org", "rcpt" + std::to_string(i) + "@example.org",
          "From: <user@example.org>\r\nTo: <rcpt@example.org>\r\nSubject: bench " + std::to_string(i) +
              "\r\n\r\n" + body};
}

// Runs plugin and baseline alternately; prints medians and the ratio.
// The baseline shuts its end after QUIT like the plug-in; the one that
// waits for the 221 with its end open is shown beside it.
void Compare(const char* what, int rounds, const std::vector<Outgoing>& queue, int port, double goal) {
  std::vector<double> plugin, baseline, ratios, waiting;
  for (int r = 0; r < rounds; ++r) {
    const double b1 = MinimalPass(port, queue);
    const double p = PluginPass(port, 0, L"", queue);
    const double b2 = MinimalPass(port, queue);
    waiting.push_back(MinimalPass(port, queue, false));
    if (p < 0 || b1 < 0 || b2 < 0) {
      printf("%s: a pass failed\n", what);
      return;
    }
    plugin.push_back(p);
    baseline.push_back((b1 + b2) / 2);
    ratios.push_back(p / ((b1 + b2) / 2));
  }
  printf("%-34s plug-in %8.1f ms, baseline %8.1f ms, ratio %.2f (goal: at most %.0f ms)\n", what,
         Median(plugin) * 1000, Median(baseline) * 1000, Median(ratios), goal * 1000);
  printf("%-34s baseline waiting for the 221 with its end open: %8.1f ms\n", "", Median(waiting) * 1000);
}

}  // namespace

int main() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  pwtest::TestCertificates certs;
  if (!certs.Ok()) {
    printf("certificates: %s\n", certs.Error().c_str());
    return 1;
  }
  // Messages stay in Exim's spool: its deliveries are not what is measured.
  pwtest::Service exim("exim", {{"certdir", certs.Dir()}, {"queue", "1"}, {"lifetime", "1800"}});
  if (!exim.Ok()) {
    printf("%s\n", exim.Error().c_str());
    return 1;
  }
  const int port = exim.Port();

  Compare("1. one reply, plain", 15, {Message(0, 200)}, port, 0.150);
  {
    std::vector<double> tls, plain, plainAccepted, tlsAccepted;
    const std::vector<Outgoing> one = {Message(0, 200)};
    for (int r = 0; r < 15; ++r) {
      double a = 0;
      plain.push_back(PluginPass(port, 0, L"", one, &a));
      plainAccepted.push_back(a);
      tls.push_back(PluginPass(port, pw::kOptionStartTls, L"user", one, &a));
      tlsAccepted.push_back(a);
    }
    printf("%-34s plug-in %8.1f ms, plain plug-in %8.1f ms, ratio %.2f (goal: at most 400 ms)\n",
           "1. one reply, STARTTLS + CRAM-MD5", Median(tls) * 1000, Median(plain) * 1000, Median(tls) / Median(plain));
    printf("%-34s plain %8.1f ms, STARTTLS + CRAM-MD5 %8.1f ms (the rest is RSET and QUIT)\n",
           "   until the reply was taken", Median(plainAccepted) * 1000, Median(tlsAccepted) * 1000);
  }
  {
    std::vector<Outgoing> hundred;
    for (int i = 0; i < 100; ++i) hundred.push_back(Message(i, 1000));
    Compare("2. 100 replies in one pass", 3, hundred, port, 5.0);
  }
  {
    const std::vector<Outgoing> big = {Message(0, 1 << 20)};
    const std::vector<Outgoing> small = {Message(0, 200)};
    std::vector<double> rates, baseRates;
    for (int r = 0; r < 5; ++r) {
      const double p = PluginPass(port, 0, L"", big) - PluginPass(port, 0, L"", small);
      const double b = MinimalPass(port, big) - MinimalPass(port, small);
      rates.push_back(1.0 / p);
      baseRates.push_back(1.0 / b);
    }
    printf("%-34s plug-in %8.1f MiB/s, baseline %8.1f MiB/s, ratio %.2f (goal: at least 10 MiB/s)\n",
           "3. a 1 MiB body", Median(rates), Median(baseRates), Median(baseRates) / Median(rates));
  }
  {
    pw::ScopedCoInit com;
    pw::QuickReplyText reply{L"\"Ann Example\" <ann@example.org>", L"Bob Müller <bob@example.net>",
                             L"Re: Meeting on Friday — agenda and the room", L"", L"iso-8859-1"};
    for (int i = 0; i < 20; ++i) reply.body += L"> A quoted line of the original message, number " + std::to_wstring(i) + L"\r\n";
    reply.body += L"Thanks, I will be there. Grüße\r\n";
    std::string text;
    const int n = 2000;
    pw::ComposeReply(reply, nullptr, nullptr, text);
    const double t0 = Now();
    for (int i = 0; i < n; ++i) pw::ComposeReply(reply, nullptr, nullptr, text);
    printf("%-34s %8.3f ms per reply of %zu bytes (goal: at most 1 ms)\n", "4. composing a reply",
           (Now() - t0) / n * 1000, text.size());
  }
  return 0;
}
