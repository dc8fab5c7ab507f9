// The two interfaces between an account and its protocol session, and the
// numbers they exchange: status codes, error codes and session options.
#pragma once

#include <cstdint>

namespace pw {

// Receives everything a session reports (the account). Texts are ANSI bytes
// as on the wire, or null.
class IMailSessionSink {
 public:
  virtual void OnStatus(uint32_t code, const char* text) = 0;
  virtual void OnError(uint32_t code, uint32_t param, const char* text) = 0;
  virtual void OnMailboxSize(uint32_t count, uint32_t octets) = 0;
  // Begin (null, 0), one call per message, end (null, 0xFFFFFFFF); returns the
  // message's first action.
  virtual int OnListEntry(const char* uidl, uint32_t size) = 0;
  virtual int OnHeader(const char* uidl, const char* text) = 0;
  virtual int OnMessage(const char* uidl, const char* text) = 0;
  virtual void OnDeleted(const char* uidl) = 0;
  // command: 1 TOP, 2 RETR, 3 DELE.
  virtual void OnCommandFailed(const char* uidl, int command, const char* text) = 0;
  virtual ~IMailSessionSink() = default;
};

// What the account calls; strings are UTF-16 and stored as ANSI.
class IMailSession {
 public:
  virtual void SetSink(IMailSessionSink* sink) = 0;
  virtual void SetProxy(const wchar_t* host, uint32_t port, uint32_t kind, const wchar_t* user,
                        const wchar_t* password) = 0;
  virtual int ConnectPop3(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                          const wchar_t* password, uint32_t timeout) = 0;
  virtual int Disconnect() = 0;
  virtual int ConnectSmtp(const wchar_t* host, uint32_t port, uint32_t options, const wchar_t* user,
                          const wchar_t* password, uint32_t timeout) = 0;
  virtual int SendMail(const char* from, const char* to, const char* text) = 0;
  virtual int EndMail() = 0;
  // The SHA-256 fingerprint ("AB:CD:...") of a server certificate the user
  // trusts although it cannot be verified; null or empty: none.
  virtual void SetPinnedFingerprint(const wchar_t* fingerprint) = 0;
  virtual ~IMailSession() = default;
};

// Session options.
inline constexpr uint32_t kOptionTls = 0x1;       // TLS from the first byte
inline constexpr uint32_t kOptionApop = 0x2;      // POP3 APOP login (RFC 1939)
inline constexpr uint32_t kOptionStartTls = 0x4;  // STLS (RFC 2595) / STARTTLS
// POP3: never ask CAPA nor pipeline, even when the server could.
inline constexpr uint32_t kOptionNoPipelining = 0x8;

// Proxy kind: low byte the ProxyType, this bit to log in at the proxy.
inline constexpr uint32_t kProxyAuthBit = 0x800;

// OnStatus codes.
enum SessionStatus : uint32_t {
  kStatusSmtpLine = 3,
  kStatusSent = 4,
  kStatusConnecting = 5,
  kStatusConnected = 6,
  kStatusReply = 7,
  kStatusQuitting = 8,
  kStatusClosed = 10,
  kStatusTlsDone = 11,
  kStatusTlsWarning = 12,
  kStatusTlsInfo = 13,
  kStatusTlsShutdown = 14,
  kStatusSmtpReady = 15,     // ready for a message (SendMail or EndMail)
  kStatusSmtpText = 16,      // the message text goes out
  kStatusSmtpAccepted = 17,  // the server took the message
  kStatusSmtpRefused = 18,   // text: the server's line; "4..." try again later, "5..." never
  kStatusLogin = 20,
  kStatusLoggedIn = 21,
  kStatusTop = 22,
  kStatusRetr = 23,
  kStatusDele = 24,
  kStatusSmtpMailFrom = 25,  // MAIL FROM about to be sent
};

// OnError codes; their texts are in the string table (SessionErrorText).
enum SessionError : uint32_t {
  kErrorClosed = 10,
  kErrorFatal = 100,
  kErrorReceive = 101,
  kErrorConnect = 102,
  kErrorCreate = 103,
  kErrorTimeout = 104,
  kErrorLogin = 105,
  kErrorCommand = 106,
  kErrorSend = 107,
  kErrorProxyConnect = 201,
  kErrorProxyRequest = 202,
  kErrorProxyAuthType = 203,
  kErrorProxyLogin = 204,
  kErrorProxyAuthRequired = 205,
  kErrorProxyResolve = 206,
  kErrorProxy = 207,
  kErrorTlsUnknown = 301,
  kErrorTlsConnect = 302,
  kErrorTlsLibrary = 303,
  kErrorTlsInit = 304,
  kErrorTlsCertificate = 305,
};

}  // namespace pw
