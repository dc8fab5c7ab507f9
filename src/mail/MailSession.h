// The one object through which an account talks to a mail server: a socket
// with its layer chain (TLS above proxy), command sending, reply assembly,
// time-outs and the reports to the account. The POP3 conversation (RFC 1939)
// is in Pop3Session.cpp, the SMTP one (RFC 5321) in SmtpSession.cpp.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "mail/MailSessionApi.h"
#include "net/AsyncSocketEx.h"

namespace pw {

class CProxyLayer;
class CTlsLayer;

// One message of a POP3 listing; entry i is message number i+1.
struct ServerMessage {
  uint32_t size = 0;
  bool hasUidl = false;
  std::string uidl;
  uint32_t action = 0;  // 0 nothing, 1 header, 2 whole message, 3 delete
};

// POP3 conversation states: what the session waits for.
enum Pop3State : int {
  kPop3Idle = 0,
  kPop3Connect = 1,
  kPop3Greeting = 2,
  kPop3User = 3,
  kPop3Pass = 4,
  kPop3Quit = 5,
  kPop3Stat = 6,
  kPop3List = 7,
  kPop3Uidl = 8,
  kPop3Top = 9,
  kPop3Retr = 10,
  kPop3Dele = 11,
  kPop3Apop = 12,
  kSmtpConnect = 13,
  kSmtpGreeting = 14,
  kSmtpEhlo = 15,
  kSmtpMailFrom = 16,
  kSmtpRcptTo = 17,
  kSmtpData = 18,
  kSmtpText = 19,
  kSmtpRset = 20,  // EndMail's RSET, then QUIT
  kSmtpQuit = 21,
  kSmtpAuthLogin = 22,
  kSmtpAuthPlain = 23,
  kSmtpAuthCram = 25,
  kSmtpAuthCramAnswer = 26,
  kSmtpStartTls = 27,
  kPop3Stls = 28,
  kSmtpHelo = 29,           // EHLO was not understood
  kSmtpAuthCancel = 30,     // "*" sent to end an exchange we cannot answer
  kSmtpRsetRefused = 31,    // RSET after a refused message, then the next one
  kSmtpReady = 32,          // no command outstanding: the account sends or ends
  kSmtpTlsHandshake = 33,   // STARTTLS accepted, handshake running
  kPop3Capa = 34,
  kPop3Pipeline = 35,       // commands in flight, replies handled in order
};

class MailSession : public IMailSession, public CAsyncSocketEx {
 public:
  MailSession();
  ~MailSession() override;

  // IMailSession
  void SetSink(IMailSessionSink* sink) override { sink_ = sink; }
  void SetProxy(const wchar_t* host, uint32_t port, uint32_t kind, const wchar_t* user,
                const wchar_t* password) override;
  int ConnectPop3(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                  const wchar_t* password, uint32_t timeout) override;
  int Disconnect() override;
  int ConnectSmtp(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                  const wchar_t* password, uint32_t timeout) override;
  // 0 when the session is not ready for a message or the envelope is not
  // usable (no sender, no recipient, a line break in an address).
  int SendMail(const char* from, const char* to, const char* text) override;
  int EndMail() override;
  void SetPinnedFingerprint(const wchar_t* fingerprint) override;

  int State() const { return state_; }

  // Longest single-line reply and longest header block (TOP) accepted.
  static constexpr size_t kMaxLineReply = 64 * 1024;
  static constexpr size_t kMaxHeaderReply = 4 * 1024 * 1024;

  // The pipelining window (RFC 2449): at most this many commands in flight,
  // and no new one once the replies due may exceed kPipeBytes. The window
  // is never empty for the byte bound alone: one large RETR still goes.
  static constexpr size_t kPipeCommands = 128;
  static constexpr size_t kPipeBytes = 512 * 1024;

  // SMTP AUTH mechanisms, in the order they are preferred.
  enum SmtpAuth : int { kAuthNone = 0, kAuthLogin = 2, kAuthCramMd5 = 3, kAuthPlain = 4 };
  int AuthMethod() const { return authMethod_; }
  // The message text as it goes on the wire between DATA and the final
  // ".": every line end CR LF, lines starting with "." doubled (RFC 5321
  // 4.5.2), ending with CR LF.
  static std::string DataText(const char* text);

 protected:
  void OnConnect(int error) override;
  void OnReceive(int error) override;
  void OnSend(int error) override;
  void OnClose(int error) override;
  void OnTimer(UINT id) override;
  // The time-out moves a deadline; the window timer behind it is only
  // started when none runs (see MailSession.cpp).
  BOOL SetTimer(UINT id, UINT milliseconds) override;
  BOOL KillTimer(UINT id) override;
  int OnLayerNotify(CSocketLayer* layer, int kind, intptr_t param1, intptr_t param2) override;

 private:
  int Connect(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
              const wchar_t* password, uint32_t timeout, bool smtp);
  void DropLayers();
  // Sends text + terminator; logMode 1 logs the text, 0 logs "*******",
  // -1 nothing. SOCKET_ERROR when the session failed (and was closed).
  int SendCommand(const std::string& text, int logMode, const char* terminator = "\r\n");
  // A complete reply without its terminator, consuming the whole buffer;
  // false while the reply is incomplete. limit: longest reply accepted.
  // The reply takes over the buffer's storage instead of a copy.
  bool ReadReply(bool multiLine, size_t limit, std::string& reply);
  BOOL StartWindowTimer(UINT id, UINT milliseconds);
  void Fail(uint32_t code, uint32_t param, const char* text);
  // The server's last line, for the error of a dropped connection.
  std::string DropLine() const;
  void Status(uint32_t code, const char* text);
  void Error(uint32_t code, uint32_t param, const char* text);
  bool TlsCertificateAccepted(intptr_t verifyResult);

  // POP3 (Pop3Session.cpp).
  void Pop3Received();
  void Pop3Reply(std::string& reply);
  void Pop3Login();
  void Pop3Quit();
  void Pop3NextAction();
  void Pop3Listing(const std::string& reply, bool uidl);
  void Pop3Fetched(std::string& reply, bool header);
  // false when the account ended the session meanwhile.
  bool Pop3HandOver(std::string& reply, bool header);
  void SetState(int state) { state_ = state; }
  static bool AnnouncesPipelining(const std::string& capa);

  // Pipelined POP3 (Pop3Pipeline.cpp).
  struct InFlight {
    int command;     // kPop3Top, kPop3Retr, kPop3Dele or kPop3Quit
    size_t index;    // the message, or SIZE_MAX for QUIT
    size_t expect;   // the reply bytes counted against the window
  };
  void PipeStart();
  void PipeReceived();
  void PipeReply(std::string& reply);
  void PipeFill();
  void PipeQueue(int command, size_t index, const std::string& text, size_t expect);
  void PipeQuit();
  void PipeFlush();
  // As ReadReply, but bytes after the reply stay: they start the next one.
  bool ReadQueuedReply(bool multiLine, size_t limit, std::string& reply);
  void RestartReplyTimer();
  const char* CurrentUidl() const;

  // SMTP (SmtpSession.cpp).
  void SmtpReceived();
  // 0 while the reply is incomplete, else its code (-1: no code at all).
  int ReadSmtpReply();
  void SmtpReply(int code);
  void SmtpHello(bool extended);
  void SmtpCapabilities();
  void SmtpAuthenticate();
  void SmtpLoginPrompt();
  void SmtpCramChallenge();
  void SmtpNextRecipient();
  void SmtpRefused();
  void SmtpReady();
  void SmtpQuit();
  void SmtpTlsReady();
  std::string EhloName();
  // The reply time-out for the current state: the reply to a message text
  // may take longer than that to a command.
  UINT ReplyTimeout() const;

  int state_ = kPop3Idle;
  std::string buffer_;       // unsent command bytes, or received reply bytes
  size_t searchFrom_ = 0;    // where the terminator search resumes
  size_t sendFrom_ = 0;      // bytes of buffer_ already sent
  bool searchingError_ = false;
  bool readCut_ = false;     // the last OnReceive stopped with bytes still waiting
  IMailSessionSink* sink_ = nullptr;
  std::string user_;
  std::string password_;
  uint32_t options_ = 0;
  uint32_t timeout_ = 30000;
  bool smtp_ = false;
  std::string apopStamp_;
  // SMTP: the message being sent, the last reply, what EHLO offered.
  std::string mailFrom_;
  std::vector<std::string> rcptTo_;
  size_t rcptNext_ = 0;
  size_t rcptAccepted_ = 0;
  std::string rcptRefusal_;   // the worst refusal of this message's recipients
  std::string mailText_;
  std::vector<std::string> replyLines_;
  std::string replyText_;     // the last line after its code
  int authMethod_ = kAuthNone;
  uint32_t offeredAuth_ = 0;  // bits (1 << SmtpAuth)
  bool tlsActive_ = false;
  int loginStep_ = 0;
  ULONGLONG textStarted_ = 0;
  std::vector<ServerMessage> messages_;
  int current_ = -1;
  size_t nextFetch_ = 0;   // no entry before it waits for TOP or RETR
  size_t nextDelete_ = 0;  // no entry before it waits for DELE
  // Pipelining: replies due in the order sent, bodies asked for after their
  // header, unsent command bytes, and where the unread reply bytes start.
  std::deque<InFlight> inFlight_;
  std::deque<size_t> bodiesDue_;
  size_t inFlightBytes_ = 0;
  size_t fetchesInFlight_ = 0;
  bool draining_ = false;  // after a refusal: QUIT is queued, no more commands
  std::string outbox_;
  size_t outFrom_ = 0;
  size_t head_ = 0;
  std::string proxyHost_;
  uint32_t proxyPort_ = 0;
  uint32_t proxyKind_ = 0;
  std::string proxyUser_;
  std::string proxyPassword_;
  std::string pinned_;
  UINT timeoutId_ = 0;        // the running time-out (1 reply, 2 send), or 0
  ULONGLONG deadline_ = 0;    // when it ends (NowMs)
  ULONGLONG timerDue_ = 0;    // when the window timer behind it fires
  size_t windowBytes_ = 0;    // received since the time-out last restarted
  std::string lastLine_;      // first line of the last complete reply
  std::unique_ptr<CProxyLayer> proxyLayer_;
  std::unique_ptr<CTlsLayer> tlsLayer_;
};

// UTF-16 to the ANSI code page, as the wire carries it.
std::string ToAnsi(const wchar_t* text);

}  // namespace pw
