#include "mail/MailSession.h"

#include <algorithm>
#include <cstring>

#include "net/ProxyLayer.h"
#include "net/TlsLayer.h"

namespace pw {

namespace {

constexpr UINT kReplyTimer = 1;
constexpr UINT kSendTimer = 2;
// Commands are short; a message text goes in pieces of this size, so that
// a large one costs few calls into the socket (and into Wine).
constexpr int kSendChunk = 64 * 1024;
constexpr int kReceiveChunk = 4096;
constexpr int kReadsPerEvent = 64;  // at most 256 KiB per notification
constexpr int kWritesPerEvent = 16;  // at most 1 MiB per FD_WRITE
// Least a reply must bring within one time-out window (or the rest of the
// reply, when that is less, since a complete reply ends the window).
constexpr size_t kProgressBytes = 1024;
constexpr size_t kMaxLineShown = 256;  // of a server line in an error text

// Milliseconds of the performance counter: under Wine the tick count can lag
// behind by tens of milliseconds, which would end a time-out early.
ULONGLONG NowMs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<ULONGLONG>(c.QuadPart / frequency * 1000 + c.QuadPart % frequency * 1000 / frequency);
}

bool EqualFingerprints(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (toupper(static_cast<unsigned char>(a[i])) != toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

std::string ToAnsi(const wchar_t* text) {
  if (!text || !*text) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

MailSession::MailSession() = default;

MailSession::~MailSession() {
  sink_ = nullptr;  // the account is going or has let the session go
  SetState(kPop3Idle);
  if (GetSocketHandle() != INVALID_SOCKET) ShutDown(SD_BOTH);
  Close();
  RemoveAllLayers();
}

void MailSession::Status(uint32_t code, const char* text) {
  if (sink_) sink_->OnStatus(code, text);
}

void MailSession::Error(uint32_t code, uint32_t param, const char* text) {
  if (sink_) sink_->OnError(code, param, text);
}

void MailSession::Fail(uint32_t code, uint32_t param, const char* text) {
  Error(code, param, text);
  SetState(kPop3Idle);  // a close we chose reports no error of its own
  Close();
}

void MailSession::SetProxy(const wchar_t* host, uint32_t port, uint32_t kind, const wchar_t* user,
                           const wchar_t* password) {
  if (host) proxyHost_ = ToAnsi(host);
  proxyPort_ = port;
  proxyKind_ = kind;
  if (user) proxyUser_ = ToAnsi(user);
  if (password) proxyPassword_ = ToAnsi(password);
}

void MailSession::SetPinnedFingerprint(const wchar_t* fingerprint) { pinned_ = ToAnsi(fingerprint); }

void MailSession::DropLayers() {
  RemoveAllLayers();
  tlsLayer_.reset();
  proxyLayer_.reset();
}

int MailSession::ConnectPop3(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                             const wchar_t* password, uint32_t timeout) {
  return Connect(host, port, options, user, password, timeout, false);
}

int MailSession::ConnectSmtp(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                             const wchar_t* password, uint32_t timeout) {
  return Connect(host, port, options, user, password, timeout, true);
}

int MailSession::Connect(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                         const wchar_t* password, uint32_t timeout, bool smtp) {
  timeout_ = timeout;
  options_ = options;
  smtp_ = smtp;
  user_ = ToAnsi(user);
  password_ = ToAnsi(password);
  DropLayers();
  buffer_.clear();
  searchFrom_ = 0;
  searchingError_ = false;
  apopStamp_.clear();
  messages_.clear();
  current_ = -1;
  nextFetch_ = nextDelete_ = 0;
  inFlight_.clear();
  bodiesDue_.clear();
  inFlightBytes_ = fetchesInFlight_ = 0;
  draining_ = false;
  outbox_.clear();
  outFrom_ = head_ = 0;
  authMethod_ = kAuthNone;
  offeredAuth_ = 0;
  tlsActive_ = (options & kOptionTls) != 0;
  loginStep_ = 0;

  // TLS sits above the proxy, which sits next to Winsock.
  if (options & (kOptionTls | kOptionStartTls)) {
    tlsLayer_ = std::make_unique<CTlsLayer>();
    AddLayer(tlsLayer_.get());
  }
  if (proxyKind_ & 0xFF) {
    proxyLayer_ = std::make_unique<CProxyLayer>();
    const int kind = static_cast<int>(proxyKind_ & 0xFF);
    if (kind == kProxySocks4 || kind == kProxySocks4A) {
      proxyLayer_->SetProxy(kind, proxyHost_.c_str(), static_cast<int>(proxyPort_));
    } else if (kind == kProxySocks5 || kind == kProxyHttp11) {
      if (proxyKind_ & kProxyAuthBit)
        proxyLayer_->SetProxy(kind, proxyHost_.c_str(), static_cast<int>(proxyPort_), proxyUser_.c_str(),
                              proxyPassword_.c_str());
      else
        proxyLayer_->SetProxy(kind, proxyHost_.c_str(), static_cast<int>(proxyPort_));
    }
    AddLayer(proxyLayer_.get());
  }
  if ((options & kOptionTls) && tlsLayer_) tlsLayer_->Start();

  if (!Create(0, SOCK_STREAM, kAllSocketEvents, nullptr)) {
    Fail(kErrorCreate, static_cast<uint32_t>(GetLastError()), nullptr);
    return 0;
  }
  Status(kStatusConnecting, nullptr);
  SetState(smtp ? kSmtpConnect : kPop3Connect);
  lastLine_.clear();
  // The time-out bounds the connect (and a proxy's handshake behind it): a
  // server whose queue is full drops the SYN, and Winsock alone would try
  // for minutes.
  SetTimer(kReplyTimer, timeout_);
  const std::string ansiHost = ToAnsi(host);
  if (!CAsyncSocketEx::Connect(ansiHost.c_str(), port) && GetLastError() != WSAEWOULDBLOCK) {
    Fail(kErrorConnect, 0, nullptr);
    return 0;
  }
  return 1;
}

int MailSession::Disconnect() {
  SetState(kPop3Idle);
  ShutDown(SD_BOTH);
  Close();
  return 1;
}

void MailSession::OnConnect(int error) {
  if (error) {
    Fail(kErrorConnect, static_cast<uint32_t>(error), nullptr);
    return;
  }
  Status(kStatusConnected, nullptr);
  SetState(state_ == kPop3Connect ? kPop3Greeting : kSmtpGreeting);
  SetTimer(kReplyTimer, timeout_);
}

int MailSession::SendCommand(const std::string& text, int logMode, const char* terminator) {
  buffer_.clear();
  buffer_.shrink_to_fit();
  searchFrom_ = 0;
  sendFrom_ = 0;
  searchingError_ = false;
  std::string line = text;
  line += terminator;
  if (logMode >= 0) Status(kStatusSent, logMode == 0 ? "*******" : text.c_str());
  const int first = static_cast<int>(std::min<size_t>(line.size(), kSendChunk));
  const int sent = Send(line.data(), first);
  if (sent == SOCKET_ERROR && GetLastError() != WSAEWOULDBLOCK) {
    Fail(kErrorSend, 0, nullptr);
    return SOCKET_ERROR;
  }
  const size_t done = sent == SOCKET_ERROR ? 0 : static_cast<size_t>(sent);
  if (done == line.size()) {
    SetTimer(kReplyTimer, ReplyTimeout());
    return sent;
  }
  buffer_.assign(line, done, std::string::npos);
  sendFrom_ = 0;
  PostEvent(FD_WRITE);
  SetTimer(kSendTimer, timeout_);
  return sent == SOCKET_ERROR ? 0 : sent;
}

void MailSession::OnSend(int) {
  if (state_ == kPop3Pipeline) {
    PipeFlush();
    return;
  }
  if (buffer_.size() <= sendFrom_ || state_ == kPop3Idle) return;
  // Up to kWritesPerEvent pieces while the socket takes them: a message
  // text of a megabyte would otherwise cost a posted event per kilobyte.
  // The sent part is skipped, not erased, so each byte is copied once.
  for (int i = 0; i < kWritesPerEvent; ++i) {
    const int length = static_cast<int>(std::min<size_t>(buffer_.size() - sendFrom_, kSendChunk));
    const int sent = Send(buffer_.data() + sendFrom_, length);
    if (sent == SOCKET_ERROR) {
      if (GetLastError() != WSAEWOULDBLOCK) {
        KillTimer(kSendTimer);
        Fail(kErrorSend, 0, nullptr);
        return;
      }
      break;
    }
    sendFrom_ += static_cast<size_t>(sent);
    if (sendFrom_ >= buffer_.size()) {
      buffer_.clear();
      buffer_.shrink_to_fit();
      sendFrom_ = 0;
      KillTimer(kSendTimer);
      SetTimer(kReplyTimer, ReplyTimeout());
      return;
    }
    if (sent < length) break;
  }
  PostEvent(FD_WRITE);
  SetTimer(kSendTimer, timeout_);
}

void MailSession::OnReceive(int) {
  if (state_ == kPop3Idle) return;  // ended: nothing more is read
  // Everything that has arrived is read in 4096-byte pieces straight into
  // the buffer, up to kReadsPerEvent of them: one notification per piece
  // would cost a window message and a FIONREAD check each. Winsock and the
  // layers notify again for what is left.
  bool ended = false;
  readCut_ = true;
  for (int i = 0; i < kReadsPerEvent; ++i) {
    const size_t had = buffer_.size();
    buffer_.resize(had + kReceiveChunk);
    const int n = Receive(buffer_.data() + had, kReceiveChunk);
    const int error = n == SOCKET_ERROR ? GetLastError() : 0;
    buffer_.resize(had + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0) windowBytes_ += static_cast<size_t>(n);
    if (state_ == kPop3Idle) return;  // a layer's report ended the session
    if (n == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
      readCut_ = false;
      if (i == 0) return;
      break;
    }
    if (n <= 0) {
      if (i == 0) {
        const std::string line = DropLine();
        Fail(kErrorReceive, 0, line.empty() ? nullptr : line.c_str());
        return;
      }
      ended = true;  // the bytes read before are handled first
      readCut_ = false;
      break;
    }
    if (n < kReceiveChunk) {
      readCut_ = false;  // drained for now
      break;
    }
  }
  if (!smtp_)
    Pop3Received();
  else
    SmtpReceived();
  if (ended && state_ != kPop3Idle) {
    const std::string line = DropLine();
    Fail(kErrorReceive, 0, line.empty() ? nullptr : line.c_str());
  }
}

// POP3 replies (RFC 1939): one line ended by CR LF, or for LIST, UIDL, TOP and
// RETR a block ended by CR LF "." CR LF. A "-ERR" to a multi-line command is
// one line. Bytes after the terminator are discarded. The search resumes
// where the previous chunk's search stopped, so assembly is linear.
bool MailSession::ReadReply(bool multiLine, size_t limit, std::string& reply) {
  static const char kLine[] = "\r\n";
  static const char kBlock[] = "\r\n.\r\n";
  if (multiLine && !searchingError_ && buffer_.size() >= 4 && _strnicmp(buffer_.c_str(), "-ERR", 4) == 0) {
    searchingError_ = true;
    searchFrom_ = 0;
  }
  const bool block = multiLine && !searchingError_;
  const char* terminator = block ? kBlock : kLine;
  const size_t termLength = block ? 5 : 2;
  const size_t at = buffer_.find(terminator, searchFrom_, termLength);
  if (at == std::string::npos) {
    searchFrom_ = buffer_.size() >= termLength ? buffer_.size() - termLength + 1 : 0;
    // A refusal is one line, whatever the command.
    if (buffer_.size() > (searchingError_ ? std::min(limit, kMaxLineReply) : limit)) {
      const std::string sofar = buffer_.substr(0, 256);
      Fail(kErrorReceive, 0, sofar.c_str());
    }
    return false;
  }
  // What the server said besides its positive replies is kept for the
  // error of a connection it drops next: a refusal, or a line it sent
  // unasked after a reply ("-ERR [SYS/TEMP] Server shutting down.").
  const size_t after = at + termLength;
  if (after < buffer_.size())
    lastLine_.assign(buffer_, after, std::min(buffer_.find("\r\n", after) - after, kMaxLineShown));
  else if (_strnicmp(buffer_.c_str(), "+OK", 3) != 0)
    lastLine_.assign(buffer_, 0, std::min(buffer_.find("\r\n"), kMaxLineShown));
  else
    lastLine_.clear();
  buffer_.resize(at);
  reply.clear();
  reply.swap(buffer_);
  buffer_.shrink_to_fit();
  searchFrom_ = 0;
  searchingError_ = false;
  return true;
}

void MailSession::OnClose(int error) {
  KillTimer(kReplyTimer);
  if (error) {
    const std::string line = DropLine();
    Error(kErrorClosed, static_cast<uint32_t>(error), line.empty() ? nullptr : line.c_str());
  } else if (state_ != kPop3Idle) {
    // The server hung up while a reply was due: its last line goes along.
    const std::string line = DropLine();
    Error(kErrorReceive, 0, line.empty() ? nullptr : line.c_str());
  }
  SetState(kPop3Idle);
  Status(kStatusClosed, nullptr);
}

std::string MailSession::DropLine() const {
  // What the server sent last: the start of a reply cut short, else what
  // it said besides a positive reply.
  if (buffer_.size() <= head_) return lastLine_;
  const size_t end = buffer_.find("\r\n", head_);
  return buffer_.substr(head_, std::min(end == std::string::npos ? end : end - head_, kMaxLineShown));
}

// The reply time-out restarts with every command, and with a chunk of a
// reply only once the window has brought kProgressBytes: a server that
// drips a byte now and then cannot hold a check forever. A reply of S bytes
// therefore gets at most S / 1024 + 1 windows, and a check of C commands
// whose replies total B bytes ends within (C + B / 1024) * timeout, plus
// one window each for the connect and a TLS handshake.
// Restarting a window timer costs two calls into the window system each
// time, so the session moves a deadline instead and keeps one window timer
// running; when it fires before the deadline it is started again for the
// time left.
BOOL MailSession::SetTimer(UINT id, UINT milliseconds) {
  if (id == 0) return TRUE;
  const ULONGLONG now = NowMs();
  if (id == kReplyTimer && !buffer_.empty() && deadline_ != 0 && windowBytes_ < kProgressBytes) {
    // Part of a reply came, too little to count as progress: the window
    // keeps its deadline (a chunk's notification may have stopped it).
    timeoutId_ = id;
    const UINT left = deadline_ > now ? static_cast<UINT>(deadline_ - now) : 0;
    if (GetTimerId() == 0 || timerDue_ > deadline_) return StartWindowTimer(id, left);
    return TRUE;
  }
  windowBytes_ = 0;
  const ULONGLONG deadline = now + milliseconds;
  BOOL ok = TRUE;
  if (GetTimerId() == 0 || timerDue_ > deadline) ok = StartWindowTimer(id, milliseconds);
  timeoutId_ = id;
  deadline_ = deadline;
  return ok;
}

BOOL MailSession::KillTimer(UINT id) {
  if (id == 0 || id != timeoutId_) return FALSE;
  timeoutId_ = 0;  // the window timer, if it still runs, finds nothing due
  return TRUE;
}

// The base class stops the old window timer through KillTimer, which would
// end the time-out itself: it is kept.
BOOL MailSession::StartWindowTimer(UINT id, UINT milliseconds) {
  const UINT running = timeoutId_;
  const BOOL ok = CAsyncSocketEx::SetTimer(id, milliseconds);
  timeoutId_ = running;
  timerDue_ = NowMs() + milliseconds;
  return ok;
}

void MailSession::OnTimer(UINT) {
  if (timeoutId_ == 0) return;
  const ULONGLONG now = NowMs();
  if (now < deadline_) {
    StartWindowTimer(timeoutId_, static_cast<UINT>(deadline_ - now));
    return;
  }
  timeoutId_ = 0;
  Fail(kErrorTimeout, 0, nullptr);
}

bool MailSession::TlsCertificateAccepted(intptr_t verifyResult) {
  // Only a verified certificate, or the one the user pinned for this account.
  if (verifyResult == 0) return true;
  return tlsLayer_ && EqualFingerprints(tlsLayer_->GetPeerFingerprint(), pinned_);
}

int MailSession::OnLayerNotify(CSocketLayer* layer, int kind, intptr_t param1, intptr_t param2) {
  if (kind == 0) {
    // The proxy's own connection is up: its handshake gets a time-out
    // window of its own.
    if (proxyLayer_ && layer == proxyLayer_.get() && param1 == kLayerConnected &&
        (state_ == kPop3Connect || state_ == kSmtpConnect))
      SetTimer(kReplyTimer, timeout_);
    return 1;
  }
  if (kind != 1) return 1;
  if (proxyLayer_ && layer == proxyLayer_.get()) {
    switch (param1) {
      case kProxyUnreachable: Fail(kErrorProxyConnect, 1, nullptr); break;
      case kProxyRequestFailed: Fail(kErrorProxyRequest, 2, reinterpret_cast<const char*>(param2)); break;
      case kProxyAuthUnsupported: Fail(kErrorProxyAuthType, 4, nullptr); break;
      case kProxyAuthFailed: Fail(kErrorProxyLogin, 5, nullptr); break;
      case kProxyAuthRequired: Fail(kErrorProxyAuthRequired, 6, nullptr); break;
      case kProxyCannotResolve: Fail(kErrorProxyResolve, 7, nullptr); break;
      default: Fail(kErrorProxy, static_cast<uint32_t>(param1), nullptr); break;
    }
    return 1;
  }
  if (tlsLayer_ && layer == tlsLayer_.get()) {
    switch (param1) {
      case kTlsInfo:
        if (param2 == 0) {
          Status(kStatusTlsDone, nullptr);
          if (options_ & kOptionStartTls) {
            if (!smtp_ && state_ == kPop3Stls) Pop3Login();
            if (smtp_ && state_ == kSmtpTlsHandshake) SmtpTlsReady();
          }
        } else if (param2 == 1) {
          Status(kStatusTlsShutdown, nullptr);
        }
        return 1;
      case kTlsFailure:
        switch (param2) {
          case kTlsFailUnknown: Error(kErrorTlsUnknown, 0, nullptr); break;
          case kTlsFailConnect: Error(kErrorTlsConnect, 1, nullptr); break;
          case kTlsFailLibrary: Error(kErrorTlsLibrary, 2, nullptr); break;
          case kTlsFailInit: Error(kErrorTlsInit, 4, nullptr); break;
          case kTlsFailCertificate: Error(kErrorTlsCertificate, 8, nullptr); break;
          default: break;
        }
        SetState(kPop3Idle);
        Close();
        return 1;
      case kTlsCertificate: return TlsCertificateAccepted(param2) ? 1 : 0;
      case kTlsWarningText: Status(kStatusTlsWarning, reinterpret_cast<const char*>(param2)); return 1;
      case kTlsInfoText: Status(kStatusTlsInfo, reinterpret_cast<const char*>(param2)); return 1;
      default: return 1;
    }
  }
  return 1;
}

}  // namespace pw
