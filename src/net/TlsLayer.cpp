#include "net/TlsLayer.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "net/AsyncSocketEx.h"
#include "net/SocketEvents.h"
#include "net/TlsContext.h"

namespace pw {

namespace {

constexpr size_t kPairSize = 4096;     // each side of the BIO pair
constexpr size_t kChunk = 16384;       // most ciphertext moved per step
// Posted to the layer itself: pass FD_READ up if plaintext still waits then.
constexpr long kReadCheck = 0x4000;

std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  vsnprintf(buf, sizeof(buf), fmt, args);
  va_end(args);
  return buf;
}

bool IsIpAddress(const std::string& host) { return inet_addr(host.c_str()) != INADDR_NONE; }

}  // namespace

CTlsLayer::~CTlsLayer() {
  Reset();
  if (ctx_) TlsContext::Release();
}

void CTlsLayer::Reset() {
  ++generation_;
  active_ = failureReported_ = false;
  readOwedSelf_ = writeOwedSelf_ = readOwedUpper_ = writeOwedUpper_ = closeOwedUpper_ = false;
  networkError_ = 0;
  waitingForDecision_ = established_ = false;
  handshakeSeen_ = peerClosed_ = tlsClosed_ = sendShutdownOwed_ = closeSent_ = readCheckQueued_ = false;
  deferred_.clear();
  inbound_.clear();
  pendingSend_.clear();
  pendingSend_.shrink_to_fit();
  // The SSL BIO refers to ssl without owning it: it goes first, then the
  // reference it held on the pair's inner end.
  sslBio_.Reset();
  sslBioNext_.Reset();
  if (ssl_) {
    SSL_set_session(ssl_.Get(), nullptr);
    TlsContext::Unregister(ssl_.Get());
    ssl_.Reset();  // frees the pair's inner end too
  }
  internalBio_ = nullptr;
  networkBio_.Reset();
}

BOOL CTlsLayer::Start() {
  if (active_) return TRUE;
  auto fail = [this]() {
    if (!failureReported_) {
      failureReported_ = true;
      NotifyOwner(1, kTlsFailure, kTlsFailInit);
    }
    Reset();
    WSASetLastError(WSAENOBUFS);
    return FALSE;
  };
  if (!ctx_) ctx_ = TlsContext::Acquire();  // one reference per layer, until its destruction
  if (!ctx_) return fail();
  Reset();
  ssl_.Reset(SSL_new(ctx_));
  if (!ssl_) return fail();
  TlsContext::Register(this, ssl_.Get());
  SSL_set_info_callback(ssl_.Get(), &CTlsLayer::InfoCallback);

  sslBio_.Reset(BIO_new(BIO_f_ssl()));
  BIO* inner = nullptr;
  BIO* outer = nullptr;
  if (!sslBio_ || !BIO_new_bio_pair(&inner, kPairSize, &outer, kPairSize)) return fail();
  networkBio_.Reset(outer);

  SSL_set_options(ssl_.Get(), SSL_get_options(ssl_.Get()) | SSL_OP_ALL);
  // A record may be written in part; the owner resends the rest from wherever it keeps it.
  SSL_set_mode(ssl_.Get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_set_session(ssl_.Get(), nullptr);
  SSL_set_connect_state(ssl_.Get());
  SSL_set_bio(ssl_.Get(), inner, inner);
  internalBio_ = inner;
  BIO_set_ssl(sslBio_.Get(), ssl_.Get(), BIO_NOCLOSE);
  // BIO_set_ssl made the inner end the SSL BIO's next BIO and took a
  // reference on it, which BIO_free of the SSL BIO never drops: that
  // reference is ours to free.
  sslBioNext_.Reset(BIO_next(sslBio_.Get()));
  ApplyHost();

  active_ = true;
  // Nothing has been owed to the owner yet: it hears of data and of room
  // once the handshake is through.
  readOwedUpper_ = writeOwedUpper_ = true;
  if (GetLayerState() == kLayerConnected) {
    // STARTTLS: the ClientHello goes out now, not when the server speaks.
    const bool ok = Drive();
    if (!FlushReports()) return FALSE;
    if (!ok) {
      FailNetwork(WSAECONNABORTED, true);
      return FALSE;
    }
    PostLayerEvent(FD_READ, 0, false);
    PostLayerEvent(FD_WRITE, 0, false);
    PostLayerEvent(FD_READ, 0, true);
    PostLayerEvent(FD_WRITE, 0, true);
  }
  return TRUE;
}

void CTlsLayer::ApplyHost() {
  if (!ssl_ || host_.empty()) return;
  // The certificate must name the host the user configured (RFC 6125).
  if (IsIpAddress(host_)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_.Get()), host_.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_.Get(), host_.c_str());
    SSL_set1_host(ssl_.Get(), host_.c_str());
  }
}

BOOL CTlsLayer::Connect(const char* host, UINT port) {
  host_ = host ? host : "";
  ApplyHost();
  const BOOL ok = ConnectDown(host, port);
  if (!ok && WSAGetLastError() != WSAEWOULDBLOCK) Reset();
  return ok;
}

BOOL CTlsLayer::Connect(const SOCKADDR* address, int length) {
  if (address && address->sa_family == AF_INET)
    host_ = inet_ntoa(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
  ApplyHost();
  const BOOL ok = ConnectDown(address, length);
  if (!ok && WSAGetLastError() != WSAEWOULDBLOCK) Reset();
  return ok;
}

void CTlsLayer::Close() {
  shutdownState_ = 0;
  Reset();
  CSocketLayer::Close();
}

bool CTlsLayer::Drive() {
  if (!ssl_) return false;
  ERR_clear_error();
  unsigned char probe;
  size_t got = 0;
  // A peek runs the handshake and decrypts the next record without taking
  // plaintext away from the owner.
  if (SSL_peek_ex(ssl_.Get(), &probe, 1, &got) == 1) return true;
  switch (SSL_get_error(ssl_.Get(), 0)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      return true;
    case SSL_ERROR_ZERO_RETURN:  // close_notify: what was sent before it still counts
      tlsClosed_ = true;
      closeOwedUpper_ = true;
      return true;
    default:
      return false;
  }
}

bool CTlsLayer::HasPlaintext() const { return ssl_ && SSL_pending(ssl_.Get()) > 0; }

void CTlsLayer::InfoCallback(const SSL* ssl, int where, int ret) {
  CTlsLayer* layer = TlsContext::Find(ssl);
  if (!layer) {
    MessageBoxW(nullptr, L"Can't lookup SSL session!", L"Critical error", MB_ICONEXCLAMATION);
    return;
  }
  const char* role = (where & SSL_ST_CONNECT) ? "SSL_connect" : (where & SSL_ST_ACCEPT) ? "SSL_accept" : "undefined";
  auto text = [layer](int param1, std::string s) {
    layer->deferred_.push_back({Deferred::kText, param1, std::move(s)});
  };
  if (where & SSL_CB_LOOP) {
    text(kTlsInfoText, Format("%s:%s", role, SSL_state_string_long(ssl)));
  } else if (where & SSL_CB_ALERT) {
    text(kTlsWarningText, Format("SSL3 alert %s:%s:%s", (where & SSL_CB_READ) ? "read" : "write",
                                 SSL_alert_type_string_long(ret), SSL_alert_desc_string_long(ret)));
  } else if (where & SSL_CB_EXIT) {
    bool failed = false;
    if (ret == 0) {
      text(kTlsWarningText, Format("%s:failed in %s", role, SSL_state_string_long(ssl)));
      failed = true;
    } else if (ret < 0) {
      const int e = SSL_get_error(ssl, ret);
      if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
        text(kTlsWarningText, Format("%s: error in %s", role, SSL_state_string_long(ssl)));
        failed = true;
      }
    }
    if (failed) layer->deferred_.push_back({Deferred::kFailure, 0, {}});
  }
  if ((where & SSL_CB_HANDSHAKE_DONE) && !layer->handshakeSeen_) {
    layer->handshakeSeen_ = true;
    layer->deferred_.push_back({Deferred::kHandshakeDone, 0, {}});
  }
}

bool CTlsLayer::Report(int param1, intptr_t param2, int* answer) {
  const unsigned generation = generation_;
  const int result = NotifyOwner(1, param1, param2);
  if (answer) *answer = result;
  return generation == generation_;
}

bool CTlsLayer::FlushReports() {
  while (!deferred_.empty()) {
    Deferred item = std::move(deferred_.front());
    deferred_.pop_front();
    switch (item.kind) {
      case Deferred::kText:
        if (!Report(item.param1, reinterpret_cast<intptr_t>(item.text.c_str()))) return false;
        break;
      case Deferred::kFailure:
        if (!failureReported_) {
          failureReported_ = true;
          if (!Report(kTlsFailure, established_ ? kTlsFailUnknown : kTlsFailConnect)) return false;
        }
        break;
      case Deferred::kHandshakeDone:
        if (!OnHandshakeDone()) return false;
        break;
    }
  }
  return active_;
}

bool CTlsLayer::OnHandshakeDone() {
  verifyResult_ = SSL_get_verify_result(ssl_.Get());
  fingerprint_.clear();
  ScopedX509 peer(SSL_get1_peer_certificate(ssl_.Get()));
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned mdLength = 0;
  if (peer && X509_digest(peer.Get(), EVP_sha256(), md, &mdLength)) {
    for (unsigned i = 0; i < mdLength; ++i) fingerprint_ += Format(i ? ":%02X" : "%02X", md[i]);
  } else if (verifyResult_ == X509_V_OK) {
    verifyResult_ = X509_V_ERR_UNSPECIFIED;  // no certificate is no proof of identity
  }
  if (verifyResult_ == X509_V_OK) return AcceptConnection();

  // Unverified: the owner sees why and which certificate, and decides.
  const std::string why = Format("Server certificate not verified: %s (%ld); SHA-256 fingerprint %s",
                                 X509_verify_cert_error_string(verifyResult_), verifyResult_,
                                 fingerprint_.empty() ? "none" : fingerprint_.c_str());
  if (!Report(kTlsInfoText, reinterpret_cast<intptr_t>(why.c_str()))) return false;
  int answer = 0;
  if (!Report(kTlsCertificate, verifyResult_, &answer)) return false;
  if (answer == 2) {
    waitingForDecision_ = true;
    return true;
  }
  if (answer != 0) return AcceptConnection();
  RefuseConnection();
  return false;
}

bool CTlsLayer::AcceptConnection() {
  established_ = true;
  const std::string text = ConnectionText();
  if (!Report(kTlsInfoText, reinterpret_cast<intptr_t>(text.c_str()))) return false;
  return Report(kTlsInfo, 0);
}

void CTlsLayer::RefuseConnection() {
  networkError_ = WSAECONNABORTED;
  WSASetLastError(WSAECONNABORTED);
  if (!failureReported_) {
    failureReported_ = true;
    if (!Report(kTlsFailure, kTlsFailCertificate)) return;
  }
  PostLayerEvent(FD_CLOSE, WSAECONNABORTED, true);
}

void CTlsLayer::CompleteCertificateCheck(int answer) {
  if (!active_ || !waitingForDecision_) return;
  waitingForDecision_ = false;
  if (answer == 0) {
    RefuseConnection();
    return;
  }
  if (!AcceptConnection()) return;
  Pump();
}

std::string CTlsLayer::ConnectionText() const {
  const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_.Get());
  std::string key;
  ScopedX509 peer(SSL_get1_peer_certificate(ssl_.Get()));
  if (peer) {
    ScopedEvpPkey pkey(X509_get_pubkey(peer.Get()));
    if (pkey) {
      const int type = EVP_PKEY_get_base_id(pkey.Get());
      if (type == EVP_PKEY_RSA)
        key = Format("%d bit RSA", EVP_PKEY_get_bits(pkey.Get()));
      else if (type == EVP_PKEY_DSA)
        key = Format("%d bit DSA", EVP_PKEY_get_bits(pkey.Get()));
    }
  }
  return Format("Using %s, cipher %s: %s, %s", SSL_get_version(ssl_.Get()),
                cipher ? SSL_CIPHER_get_version(cipher) : "", cipher ? SSL_CIPHER_get_name(cipher) : "",
                key.c_str());
}

void CTlsLayer::FailNetwork(int error, bool reportFailure) {
  networkError_ = error;
  WSASetLastError(error);
  if (reportFailure && !failureReported_) {
    failureReported_ = true;
    if (!Report(kTlsFailure, established_ ? kTlsFailUnknown : kTlsFailConnect)) return;
  }
  PostLayerEvent(FD_CLOSE, error, true);
}

bool CTlsLayer::ReadInbound(bool fromSocket) {
  // One socket read of at most 16384 bytes per notification, staged here and
  // fed to the 4096-byte pair as OpenSSL empties it: a read from Winsock
  // costs far more than a copy.
  // A notification that finds staged bytes does not read the socket, so
  // Winsock will not notify again: the layer owes itself that read.
  if (fromSocket && !inbound_.empty()) readOwedSelf_ = true;
  if (fromSocket && inbound_.empty() && !peerClosed_) {
    char buffer[kChunk];
    const int got = ReceiveDown(buffer, sizeof(buffer), 0);
    if (got > 0) {
      inbound_.assign(buffer, got);
    } else if (got == 0) {
      peerClosed_ = true;
    } else {
      const int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK && error != WSAENOTCONN) {
        FailNetwork(error, false);
        return false;
      }
    }
  }
  while (!inbound_.empty()) {
    const size_t room = std::min(BIO_ctrl_get_write_guarantee(networkBio_.Get()), inbound_.size());
    if (room == 0) {
      readOwedSelf_ = true;  // the rest goes in once the owner has read
      return true;
    }
    BIO_write(networkBio_.Get(), inbound_.data(), static_cast<int>(room));
    (void)BIO_flush(networkBio_.Get());
    inbound_.erase(0, room);
    const bool ok = Drive();
    if (!FlushReports()) return false;
    if (!ok) {
      FailNetwork(WSAECONNABORTED, true);
      return false;
    }
  }
  return true;
}

void CTlsLayer::OnReceive(int error) {
  if (!active_) {
    CSocketLayer::OnReceive(error);
    return;
  }
  if (waitingForDecision_) {
    readOwedSelf_ = true;
    return;
  }
  if (networkError_) return;
  if (!ReadInbound(true)) return;
  CheckShutdownComplete();
  Pump();
}

void CTlsLayer::OnPrivateEvent(long event, int error) {
  if (event != kReadCheck) return;
  readCheckQueued_ = false;
  if (active_ && established_ && HasPlaintext())
    PassUp(FD_READ, 0);
  else
    readOwedUpper_ = true;
}

void CTlsLayer::OnClose(int error) {
  if (!active_) {
    CSocketLayer::OnClose(error);
    return;
  }
  if (error) {
    networkError_ = error;
    PassUp(FD_CLOSE, error);
    return;
  }
  // The peer's FIN may overtake records still in the socket: take them all
  // now, and give the owner its FD_CLOSE once it has read the plaintext.
  char buffer[kChunk];
  for (;;) {
    const int got = ReceiveDown(buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    inbound_.append(buffer, got);
  }
  peerClosed_ = true;
  if (!ReadInbound(false)) return;
  if (!established_ && !waitingForDecision_ && inbound_.empty()) {
    FailNetwork(WSAECONNABORTED, true);  // the handshake cannot finish any more
    return;
  }
  Pump();
}

bool CTlsLayer::FlushCiphertext() {
  // First what the socket refused before.
  size_t sent = 0;
  while (sent < pendingSend_.size()) {
    const int n = SendDown(pendingSend_.data() + sent, static_cast<int>(pendingSend_.size() - sent), 0);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      pendingSend_.erase(pendingSend_.begin(), pendingSend_.begin() + sent);
      if (error == WSAEWOULDBLOCK || error == WSAENOTCONN) return true;  // next FD_WRITE
      FailNetwork(error, false);
      return false;
    }
    sent += n;
  }
  pendingSend_.clear();
  char buffer[kChunk];
  for (;;) {
    const size_t pending = BIO_ctrl_pending(networkBio_.Get());
    if (pending == 0) break;
    const int got = BIO_read(networkBio_.Get(), buffer, static_cast<int>(std::min(pending, kChunk)));
    if (got <= 0) break;
    const int n = SendDown(buffer, got, 0);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK && error != WSAENOTCONN) {
        FailNetwork(error, false);
        return false;
      }
      pendingSend_.insert(pendingSend_.end(), buffer, buffer + got);
      break;
    }
    if (n < got) {
      // Grows by half again when short, so refused ciphertext is kept, not dropped.
      const size_t needed = pendingSend_.size() + (got - n);
      if (pendingSend_.capacity() < needed) pendingSend_.reserve(needed + needed / 2);
      pendingSend_.insert(pendingSend_.end(), buffer + n, buffer + got);
      break;
    }
  }
  return true;
}

void CTlsLayer::OnSend(int error) {
  if (!active_) {
    CSocketLayer::OnSend(error);
    return;
  }
  if (networkError_) return;
  writeOwedSelf_ = false;
  if (!handshakeSeen_ && BIO_ctrl_pending(networkBio_.Get()) == 0) {
    // TLS from the first byte: the ClientHello is made once the host is known.
    const bool ok = Drive();
    if (!FlushReports()) return;
    if (!ok) {
      FailNetwork(WSAECONNABORTED, true);
      return;
    }
  }
  if (!FlushCiphertext()) return;
  if (BIO_ctrl_pending(networkBio_.Get()) == 0) writeOwedSelf_ = true;
  CheckShutdownComplete();
  Pump();
}

void CTlsLayer::CheckShutdownComplete() {
  if (!active_ || !pendingSend_.empty() || BIO_ctrl_pending(networkBio_.Get()) != 0) return;
  if (sendShutdownOwed_) {
    sendShutdownOwed_ = false;
    ShutDownDown(SD_SEND);
  }
  if (shutdownState_ == 1) {
    shutdownState_ = 2;
    Report(kTlsInfo, 1);
  }
}

int CTlsLayer::Send(const void* buffer, int length, int flags) {
  if (!active_) return SendDown(buffer, length, flags);
  int error = 0;
  if (waitingForDecision_)
    error = WSAEWOULDBLOCK;
  else if (networkError_)
    error = networkError_;
  else if (shutdownState_)
    error = WSAESHUTDOWN;
  else if (!established_) {
    writeOwedUpper_ = true;
    error = WSAEWOULDBLOCK;
  }
  if (error) {
    WSASetLastError(error);
    return SOCKET_ERROR;
  }
  if (length == 0) return 0;
  ERR_clear_error();
  const int n = BIO_write(sslBio_.Get(), buffer, length);
  const bool retry = BIO_should_retry(sslBio_.Get());
  if (!FlushReports()) {
    WSASetLastError(WSAECONNABORTED);
    return SOCKET_ERROR;
  }
  if (n > 0) {
    (void)BIO_flush(sslBio_.Get());
    writeOwedUpper_ = true;
    Pump();
    return n;
  }
  if (!retry) {
    networkError_ = WSAECONNABORTED;
    WSASetLastError(WSAECONNABORTED);
    return SOCKET_ERROR;
  }
  if (GetLayerState() == kLayerClosed) return 0;
  if (GetLayerState() == kLayerConnected) {
    writeOwedUpper_ = true;
    Pump();
    WSASetLastError(WSAEWOULDBLOCK);
  } else {
    WSASetLastError(networkError_ ? networkError_ : WSAENOTCONN);
  }
  return SOCKET_ERROR;
}

int CTlsLayer::Receive(void* buffer, int length, int flags) {
  if (!active_) return ReceiveDown(buffer, length, flags);
  if (waitingForDecision_) {
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  const bool drainOnly = networkError_ != 0;
  if (drainOnly && (shutdownState_ || !HasPlaintext())) {
    WSASetLastError(networkError_);
    return SOCKET_ERROR;
  }
  if (!drainOnly && shutdownState_) {
    WSASetLastError(WSAESHUTDOWN);
    return SOCKET_ERROR;
  }
  if (length == 0) return 0;
  if (!established_) {
    readOwedUpper_ = true;
    WSASetLastError(GetLayerState() == kLayerConnected ? WSAEWOULDBLOCK : WSAENOTCONN);
    return SOCKET_ERROR;
  }
  if (HasPlaintext()) {
    ERR_clear_error();
    const int n = BIO_read(sslBio_.Get(), buffer, length);
    const bool retry = BIO_should_retry(sslBio_.Get());
    if (!FlushReports()) {
      WSASetLastError(WSAECONNABORTED);
      return SOCKET_ERROR;
    }
    if (n > 0) {
      if (drainOnly) return n;
      readOwedUpper_ = true;
      // The next record may already wait in the pair, or in what was drained at close.
      const bool ok = Drive();
      if (!FlushReports() || !ok || !ReadInbound(false)) return n;
      Pump();
      return n;
    }
    if (!retry) {
      FailNetwork(WSAECONNABORTED, false);
      WSASetLastError(WSAECONNABORTED);
      return SOCKET_ERROR;
    }
  }
  if (tlsClosed_ || (peerClosed_ && inbound_.empty()) || GetLayerState() == kLayerClosed) return 0;
  if (GetLayerState() != kLayerConnected) {
    WSASetLastError(networkError_ ? networkError_ : WSAENOTCONN);
    return SOCKET_ERROR;
  }
  readOwedUpper_ = true;
  Pump();
  WSASetLastError(WSAEWOULDBLOCK);
  return SOCKET_ERROR;
}

BOOL CTlsLayer::ShutDown(int how) {
  if (!active_) return CSocketLayer::ShutDown(how);
  if (networkError_) {
    WSASetLastError(networkError_);
    return FALSE;
  }
  if (shutdownState_ == 0) {
    shutdownState_ = 1;
    if (established_) {
      ERR_clear_error();
      const int r = SSL_shutdown(ssl_.Get());  // queues our close_notify
      if (!FlushReports()) return TRUE;
      if (r < 0) {
        const int e = SSL_get_error(ssl_.Get(), r);
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
          WSASetLastError(WSAEWOULDBLOCK);
          return FALSE;
        }
      }
    }
  }
  // The socket is shut for sending only after the last ciphertext, the
  // close_notify included, has gone out: shutting it earlier would lose it.
  sendShutdownOwed_ = true;
  if (!FlushCiphertext()) return FALSE;
  CheckShutdownComplete();
  if (active_ && sendShutdownOwed_) writeOwedSelf_ = true;  // sent from OnSend when room appears
  return TRUE;
}

void CTlsLayer::Pump() {
  if (!active_ || !ssl_) return;
  const size_t outgoing = BIO_ctrl_pending(networkBio_.Get());
  if (outgoing && writeOwedSelf_) {
    writeOwedSelf_ = false;
    PostLayerEvent(FD_WRITE, 0, false);
  }
  if (!outgoing && pendingSend_.empty() && established_ && !shutdownState_ &&
      BIO_ctrl_get_write_guarantee(internalBio_) > 0 && writeOwedUpper_) {
    writeOwedUpper_ = false;
    PostLayerEvent(FD_WRITE, 0, true);
  }
  const bool plaintext = HasPlaintext();
  if (established_ && plaintext) {
    // One notification at a time, checked when it is handled: an owner that
    // reads all there is in one go is not woken again for each of its reads.
    if (readOwedUpper_ && !readCheckQueued_) {
      readOwedUpper_ = false;
      readCheckQueued_ = PostLayerEvent(kReadCheck, 0, false);
    }
  } else if (readOwedSelf_ && BIO_ctrl_get_write_guarantee(networkBio_.Get()) > 0 &&
             GetLayerState() == kLayerConnected) {
    readOwedSelf_ = false;
    PostLayerEvent(FD_READ, 0, false);
  }
  if (peerClosed_ && inbound_.empty()) closeOwedUpper_ = true;
  if (closeOwedUpper_ && !closeSent_ && established_ && !plaintext && inbound_.empty()) {
    closeOwedUpper_ = false;
    closeSent_ = true;
    PostLayerEvent(FD_CLOSE, 0, true);
  }
}

}  // namespace pw
