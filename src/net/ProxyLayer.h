// Connects through a SOCKS 4, SOCKS 4A, SOCKS 5
// (RFC 1928, RFC 1929) or HTTP 1.1 CONNECT (RFC 9110) proxy, then passes bytes
// through untouched. Sits at the bottom of a chain, below TLS.
#pragma once

#include <cstdint>
#include <string>

#include "net/SocketLayer.h"

namespace pw {

enum ProxyType : int {
  kProxyNone = 0,
  kProxySocks4 = 1,
  kProxySocks4A = 2,
  kProxySocks5 = 3,
  kProxyHttp11 = 4,
};

// param1 of the layer's kind-1 reports to the owner.
enum ProxyReport : int {
  kProxyUnreachable = 1,
  kProxyRequestFailed = 2,   // param2: const char* text or 0
  kProxyAuthUnsupported = 4,
  kProxyAuthFailed = 5,
  kProxyAuthRequired = 6,
  kProxyCannotResolve = 7,
  kProxyListenAddress = 8,   // param2: const sockaddr_in*
};

class CProxyLayer : public CSocketLayer {
 public:
  CProxyLayer() = default;
  ~CProxyLayer() override = default;

  void SetProxy(int type, const char* host, int port);
  void SetProxy(int type, const char* host, int port, const char* user, const char* password);
  int GetProxyType() const { return proxyType_; }

  void OnConnect(int error) override;
  void OnReceive(int error) override;
  void OnSend(int error) override;
  void OnClose(int error) override;
  BOOL Accept(CAsyncSocketEx& connected, SOCKADDR* address, int* length) override;
  void Close() override;
  BOOL Connect(const SOCKADDR* address, int length) override;
  BOOL Connect(const char* host, UINT port) override;
  BOOL GetPeerName(SOCKADDR* address, int* length) override;
  BOOL Listen(int backlog) override;
  int Receive(void* buffer, int length, int flags) override;
  int Send(const void* buffer, int length, int flags) override;

 private:
  enum Operation : unsigned { kOpNone = 0, kOpConnect = 1, kOpListen = 2 };

  BOOL ConnectToProxy();
  bool BuildFirstRequest(std::string& out) const;
  bool BuildSocks5Request(std::string& out) const;
  // Sends one handshake message whole; false (and the handshake failed) otherwise.
  bool SendHandshake(const std::string& bytes);
  void HandleHandshakeData();
  bool HandleSocksData();  // false: stop reading
  bool HandleHttpData();
  bool OnSocksReply();
  void Succeed();
  void Fail(int report, const char* text, int error);
  void EndHandshake();
  void ReportListenAddress(uint32_t address, uint16_t port);

  std::string replyBuffer_;
  uint32_t replyExpected_ = 0;
  std::string httpReply_;
  unsigned step_ = 0;
  unsigned operation_ = kOpNone;
  uint16_t targetPort_ = 0;     // network order
  uint32_t targetAddress_ = 0;  // network order; 0 when only the name is known
  int proxyType_ = kProxyNone;
  std::string proxyHost_;
  int proxyPort_ = 0;
  std::string proxyUser_;
  std::string proxyPassword_;
  bool useAuthentication_ = false;
  std::string targetHost_;
};

}  // namespace pw
