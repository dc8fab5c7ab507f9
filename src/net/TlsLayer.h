// TLS client layer: OpenSSL driven through a memory BIO pair, so that it never
// touches the socket. Ciphertext moves between the layer below and the pair in
// the event handlers, plaintext between the owner and OpenSSL in Send/Receive.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "net/SocketLayer.h"
#include "net/SslHandles.h"

namespace pw {

// param1 of the layer's kind-1 reports to the owner.
enum TlsReport : int {
  kTlsInfo = 0,         // param2: 0 handshake done and accepted, 1 shutdown complete
  kTlsFailure = 1,      // param2: a TlsFailure
  kTlsCertificate = 2,  // param2: verify result; answer 0 refuse, 1 accept, 2 decide later
  kTlsWarningText = 3,  // param2: const char*
  kTlsInfoText = 4,     // param2: const char*
};

enum TlsFailure : int {
  kTlsFailUnknown = 0,
  kTlsFailConnect = 1,
  kTlsFailLibrary = 2,
  kTlsFailInit = 4,
  kTlsFailCertificate = 8,
};

class CTlsLayer : public CSocketLayer {
 public:
  CTlsLayer() = default;
  ~CTlsLayer() override;

  // Starts TLS as a client: before connecting (TLS from the first byte) or on
  // a connected layer after the protocol's STARTTLS exchange.
  BOOL Start();
  // The owner's late answer to a certificate check it deferred (answer 2):
  // non-zero accepts, 0 refuses.
  void CompleteCertificateCheck(int answer);

  bool IsActive() const { return active_; }
  bool IsEstablished() const { return established_; }
  // Server certificate of the last handshake: SHA-256 of its DER form as
  // "AB:CD:...", and OpenSSL's verify result (0 = verified).
  const std::string& GetPeerFingerprint() const { return fingerprint_; }
  long GetVerifyResult() const { return verifyResult_; }

  void OnReceive(int error) override;
  void OnSend(int error) override;
  void OnPrivateEvent(long event, int error) override;
  void OnClose(int error) override;
  void Close() override;
  BOOL Connect(const SOCKADDR* address, int length) override;
  BOOL Connect(const char* host, UINT port) override;
  int Receive(void* buffer, int length, int flags) override;
  int Send(const void* buffer, int length, int flags) override;
  BOOL ShutDown(int how) override;

 private:
  // What OpenSSL's info callback found; handed to the owner only after
  // OpenSSL has returned, since an owner may close (and so free the SSL
  // object) from inside a report.
  struct Deferred {
    enum Kind { kText, kFailure, kHandshakeDone } kind;
    int param1 = 0;
    std::string text;
  };

  static void InfoCallback(const SSL* ssl, int where, int ret);
  void Reset();
  void ApplyHost();
  // Lets OpenSSL process what waits in the pair (handshake or records).
  // false on a fatal TLS error.
  bool Drive();
  // Moves ciphertext from below (or from what was drained at close) into the
  // pair while it has room. false when the layer failed or was closed.
  bool ReadInbound(bool fromSocket);
  bool FlushReports();
  bool Report(int param1, intptr_t param2, int* answer = nullptr);
  bool OnHandshakeDone();
  bool AcceptConnection();
  void RefuseConnection();
  void FailNetwork(int error, bool reportFailure);
  bool FlushCiphertext();
  void CheckShutdownComplete();
  bool HasPlaintext() const;
  void Pump();
  std::string ConnectionText() const;

  bool active_ = false;
  bool failureReported_ = false;
  bool readOwedSelf_ = false;
  bool writeOwedSelf_ = false;
  bool readOwedUpper_ = false;
  bool writeOwedUpper_ = false;
  bool closeOwedUpper_ = false;
  unsigned shutdownState_ = 0;  // 0 none, 1 asked, 2 complete reported
  int networkError_ = 0;
  bool waitingForDecision_ = false;
  bool established_ = false;
  ScopedSsl ssl_;
  ScopedBio networkBio_;
  BIO* internalBio_ = nullptr;  // owned by ssl_
  ScopedBio sslBio_;
  ScopedBio sslBioNext_;  // the SSL BIO's reference on internalBio_
  std::vector<char> pendingSend_;

  SSL_CTX* ctx_ = nullptr;        // the layer's reference to the shared context
  bool closeSent_ = false;        // FD_CLOSE went up for this connection
  bool readCheckQueued_ = false;  // a check whether to pass FD_READ up is on its way
  bool handshakeSeen_ = false;
  bool peerClosed_ = false;       // the connection below has ended
  bool tlsClosed_ = false;        // the server sent close_notify
  bool sendShutdownOwed_ = false; // shut the socket for sending once drained
  std::string inbound_;           // ciphertext drained from a closing socket
  std::string host_;
  std::string fingerprint_;
  long verifyResult_ = 0;
  unsigned generation_ = 0;       // changes with every Reset
  std::deque<Deferred> deferred_;
};

}  // namespace pw
