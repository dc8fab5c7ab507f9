#include "net/ProxyLayer.h"

#include <cstdio>
#include <cstring>

#include "base/Base64Coder.h"
#include "net/AsyncSocketEx.h"
#include "net/SocketEvents.h"

namespace pw {

namespace {

constexpr char kNoHttpReply[] = "No valid HTTP reponse";
// A proxy that never ends its header must not grow the reply without bound.
constexpr size_t kMaxHttpReply = 16384;

std::string Dotted(uint32_t addressNetworkOrder) {
  const auto* b = reinterpret_cast<const uint8_t*>(&addressNetworkOrder);
  char text[16];
  snprintf(text, sizeof(text), "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return text;
}

void AppendPort(std::string& out, uint16_t portNetworkOrder) {
  out.append(reinterpret_cast<const char*>(&portNetworkOrder), 2);
}

}  // namespace

void CProxyLayer::SetProxy(int type, const char* host, int port) {
  proxyUser_.clear();
  proxyPassword_.clear();
  proxyType_ = type;
  proxyHost_ = host ? host : "";
  proxyPort_ = port;
  useAuthentication_ = false;
}

void CProxyLayer::SetProxy(int type, const char* host, int port, const char* user, const char* password) {
  SetProxy(type, host, port);
  if (user) proxyUser_ = user;
  if (password) proxyPassword_ = password;
  useAuthentication_ = true;
}

void CProxyLayer::EndHandshake() {
  operation_ = kOpNone;
  step_ = 0;
  replyBuffer_.clear();
  replyExpected_ = 0;
  httpReply_.clear();
}

void CProxyLayer::Close() {
  EndHandshake();
  proxyType_ = kProxyNone;
  proxyHost_.clear();
  proxyPort_ = 0;
  proxyUser_.clear();
  proxyPassword_.clear();
  useAuthentication_ = false;
  targetHost_.clear();
  targetAddress_ = 0;
  targetPort_ = 0;
  CSocketLayer::Close();
}

BOOL CProxyLayer::ConnectToProxy() {
  const BOOL ok = ConnectDown(proxyHost_.c_str(), static_cast<UINT>(proxyPort_));
  if (!ok && WSAGetLastError() != WSAEWOULDBLOCK) {
    const int error = WSAGetLastError();
    EndHandshake();
    NotifyOwner(1, kProxyUnreachable, 0);
    WSASetLastError(error);
  }
  return ok;
}

BOOL CProxyLayer::Connect(const char* host, UINT port) {
  if (proxyType_ == kProxyNone) return CSocketLayer::Connect(host, port);
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(static_cast<u_short>(port));
  sin.sin_addr.s_addr = host ? inet_addr(host) : INADDR_NONE;
  if (sin.sin_addr.s_addr == INADDR_NONE && host) {
    const hostent* he = gethostbyname(host);  // blocking, as the bottom of a chain does
    if (he && he->h_addr_list && he->h_addr_list[0]) memcpy(&sin.sin_addr, he->h_addr_list[0], 4);
  }
  if (sin.sin_addr.s_addr == INADDR_NONE) {
    if (proxyType_ == kProxySocks4) {
      // SOCKS 4 carries only an address; the name would have to be resolved here.
      NotifyOwner(1, kProxyCannotResolve, 0);
      WSASetLastError(WSAEINVAL);
      return FALSE;
    }
    targetPort_ = sin.sin_port;
    targetAddress_ = 0;
    targetHost_ = host ? host : "";
    operation_ = kOpConnect;
    return ConnectToProxy();
  }
  const BOOL ok = Connect(reinterpret_cast<const SOCKADDR*>(&sin), sizeof(sin));
  targetHost_ = host ? host : "";
  return ok;
}

BOOL CProxyLayer::Connect(const SOCKADDR* address, int length) {
  if (proxyType_ == kProxyNone) return CSocketLayer::Connect(address, length);
  if (!address || length < static_cast<int>(sizeof(sockaddr_in)) || address->sa_family != AF_INET) {
    WSASetLastError(WSAEINVAL);
    return FALSE;
  }
  const auto* sin = reinterpret_cast<const sockaddr_in*>(address);
  targetAddress_ = sin->sin_addr.s_addr;
  targetPort_ = sin->sin_port;
  targetHost_.clear();
  operation_ = kOpConnect;
  return ConnectToProxy();
}

BOOL CProxyLayer::Listen(int backlog) {
  if (proxyType_ == kProxyNone) return CSocketLayer::Listen(backlog);
  operation_ = kOpListen;  // the BIND form of the handshake
  const BOOL ok = ConnectToProxy();
  return ok || WSAGetLastError() == WSAEWOULDBLOCK;
}

BOOL CProxyLayer::Accept(CAsyncSocketEx& connected, SOCKADDR* address, int* length) {
  if (proxyType_ == kProxyNone) return CSocketLayer::Accept(connected, address, length);
  WSASetLastError(WSAEOPNOTSUPP);  // through a proxy the bound connection is this one
  return FALSE;
}

BOOL CProxyLayer::GetPeerName(SOCKADDR* address, int* length) {
  if (proxyType_ == kProxyNone) return CSocketLayer::GetPeerName(address, length);
  if (GetLayerState() == kLayerNone) {
    WSASetLastError(WSAENOTSOCK);
    return FALSE;
  }
  if (GetLayerState() == kLayerConnected && targetAddress_ && targetPort_ && address && length &&
      *length >= static_cast<int>(sizeof(sockaddr_in))) {
    // The peer is the destination, not the proxy.
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = targetAddress_;
    sin.sin_port = targetPort_;
    memcpy(address, &sin, sizeof(sin));
    *length = sizeof(sin);
    return TRUE;
  }
  WSASetLastError(WSAENOTCONN);
  return FALSE;
}

int CProxyLayer::Send(const void* buffer, int length, int flags) {
  if (operation_ != kOpNone) {
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  return SendDown(buffer, length, flags);
}

int CProxyLayer::Receive(void* buffer, int length, int flags) {
  if (operation_ != kOpNone) {
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
  }
  return ReceiveDown(buffer, length, flags);
}

void CProxyLayer::Fail(int report, const char* text, int error) {
  const long event = operation_ == kOpListen ? FD_ACCEPT : FD_CONNECT;
  const std::string copy = text ? text : "";  // the text may live in the reply just freed
  EndHandshake();
  NotifyOwner(1, report, text ? reinterpret_cast<intptr_t>(copy.c_str()) : 0);
  // The owner may have closed the socket in its report handler: then nothing is posted.
  PostLayerEvent(event, error, true);
}

void CProxyLayer::Succeed() {
  const long event = operation_ == kOpListen ? FD_ACCEPT : FD_CONNECT;
  EndHandshake();
  // The connect goes up at once: Winsock may already have queued an FD_READ
  // for the server's first bytes, and the owner must not see them before
  // its connection is up. Data and room follow as posted events.
  PassUp(event, 0);
  PostLayerEvent(FD_READ, 0, true);
  PostLayerEvent(FD_WRITE, 0, true);
}

bool CProxyLayer::SendHandshake(const std::string& bytes) {
  const int n = SendDown(bytes.data(), static_cast<int>(bytes.size()), 0);
  if (n == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    // The messages are small; a proxy that cannot take one at once is given up on.
    Fail(kProxyRequestFailed, nullptr,
         error == WSAEWOULDBLOCK && operation_ == kOpConnect ? WSAECONNABORTED : error);
    return false;
  }
  if (n < static_cast<int>(bytes.size())) {
    Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
    return false;
  }
  return true;
}

bool CProxyLayer::BuildFirstRequest(std::string& out) const {
  const char command = operation_ == kOpListen ? 0x02 : 0x01;
  out.clear();
  switch (proxyType_) {
    case kProxySocks4:
    case kProxySocks4A:
      out += '\x04';
      out += command;
      AppendPort(out, targetPort_);
      if ((proxyType_ == kProxySocks4A && !targetHost_.empty()) || targetAddress_ == 0) {
        // 4A: the invalid address 0.0.0.1 tells the proxy that the name follows.
        out.append("\0\0\0\x01", 4);
        out += '\0';  // empty user id
        out += targetHost_;
        out += '\0';
      } else {
        out.append(reinterpret_cast<const char*>(&targetAddress_), 4);
        out += '\0';
      }
      return true;
    case kProxySocks5:
      out = useAuthentication_ ? std::string("\x05\x02\x02\x00", 4) : std::string("\x05\x01\x00", 3);
      return true;
    case kProxyHttp11: {
      const std::string host = !targetHost_.empty() ? targetHost_ : Dotted(targetAddress_);
      const int port = ntohs(targetPort_);
      char line[600];
      snprintf(line, sizeof(line), "CONNECT %s:%d HTTP/1.1\r\nHost: %s:%d\r\n", host.c_str(), port, host.c_str(),
               port);
      out = line;
      if (useAuthentication_) {
        const std::string credential = proxyUser_ + ":" + proxyPassword_;
        Base64Coder coder;
        if (!coder.Encode(credential.data(), credential.size())) return false;
        out += "Authorization: Basic ";
        out += coder.GetOutput();
        out += "\r\nProxy-Authorization: Basic ";
        out += coder.GetOutput();
        out += "\r\n";
      }
      out += "\r\n";
      return true;
    }
    default:
      return false;
  }
}

bool CProxyLayer::BuildSocks5Request(std::string& out) const {
  out.assign("\x05", 1);
  out += operation_ == kOpListen ? '\x02' : '\x01';
  out += '\0';
  if (targetAddress_) {
    out += '\x01';
    out.append(reinterpret_cast<const char*>(&targetAddress_), 4);
  } else {
    if (targetHost_.size() > 255) return false;  // a name longer than its length byte
    out += '\x03';
    out += static_cast<char>(targetHost_.size());
    out += targetHost_;
  }
  AppendPort(out, targetPort_);
  return true;
}

void CProxyLayer::OnConnect(int error) {
  if (operation_ == kOpNone) {
    CSocketLayer::OnConnect(error);
    return;
  }
  if (error) {
    const long event = operation_ == kOpListen ? FD_ACCEPT : FD_CONNECT;
    EndHandshake();
    NotifyOwner(1, kProxyUnreachable, 0);
    PostLayerEvent(event, error, true);
    return;
  }
  if (step_ != 0) return;
  std::string request;
  if (!BuildFirstRequest(request)) {
    Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
    return;
  }
  if (!SendHandshake(request)) return;
  step_ = 1;
  replyBuffer_.clear();
  replyExpected_ = proxyType_ == kProxySocks5 ? 2 : 8;
}

void CProxyLayer::OnSend(int error) {
  if (operation_ != kOpNone) return;  // the owner hears of room once the tunnel stands
  CSocketLayer::OnSend(error);
}

void CProxyLayer::OnReceive(int error) {
  if (operation_ == kOpNone) {
    CSocketLayer::OnReceive(error);
    return;
  }
  if (error) {
    Fail(kProxyRequestFailed, nullptr, error);
    return;
  }
  HandleHandshakeData();
}

void CProxyLayer::OnClose(int error) {
  if (operation_ == kOpNone) {
    CSocketLayer::OnClose(error);
    return;
  }
  // What the proxy said before closing decides; a bare close is a refusal.
  HandleHandshakeData();
  if (operation_ != kOpNone) Fail(kProxyRequestFailed, nullptr, error ? error : WSAECONNABORTED);
}

void CProxyLayer::HandleHandshakeData() {
  // Everything the proxy sent, but never a byte beyond its reply.
  while (operation_ != kOpNone) {
    if (!(proxyType_ == kProxyHttp11 ? HandleHttpData() : HandleSocksData())) return;
  }
}

bool CProxyLayer::HandleSocksData() {
  if (replyBuffer_.size() >= replyExpected_) return OnSocksReply();
  char buffer[300];
  const int want = static_cast<int>(replyExpected_ - replyBuffer_.size());
  const int n = ReceiveDown(buffer, want, 0);
  if (n == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK)
      Fail(kProxyRequestFailed, nullptr, operation_ == kOpConnect && error == WSAEWOULDBLOCK ? WSAECONNABORTED : error);
    return false;
  }
  if (n == 0) {
    Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
    return false;
  }
  replyBuffer_.append(buffer, n);
  if (replyBuffer_.size() < replyExpected_) return true;
  return OnSocksReply();
}

void CProxyLayer::ReportListenAddress(uint32_t address, uint16_t port) {
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = address;
  sin.sin_port = port;
  if (address == 0) {  // the proxy means its own address
    sockaddr_in peer = {};
    int length = sizeof(peer);
    if (GetPeerNameDown(reinterpret_cast<SOCKADDR*>(&peer), &length)) sin.sin_addr = peer.sin_addr;
  }
  NotifyOwner(1, kProxyListenAddress, reinterpret_cast<intptr_t>(&sin));
}

bool CProxyLayer::OnSocksReply() {
  const auto* r = reinterpret_cast<const uint8_t*>(replyBuffer_.data());
  const unsigned operation = operation_;
  if (proxyType_ == kProxySocks4 || proxyType_ == kProxySocks4A) {
    if (r[0] != 0 || r[1] != 90) {  // 90: request granted
      Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
      return false;
    }
    if (operation == kOpConnect || step_ == 2) {
      Succeed();
      return false;
    }
    uint32_t address;
    uint16_t port;
    memcpy(&port, r + 2, 2);
    memcpy(&address, r + 4, 4);
    step_ = 2;
    replyBuffer_.clear();
    replyExpected_ = 8;
    ReportListenAddress(address, port);
    return operation_ != kOpNone;
  }

  // SOCKS 5 (RFC 1928)
  switch (step_) {
    case 1: {
      if (r[0] != 5) {
        Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
        return false;
      }
      std::string next;
      if (r[1] == 0x00) {
        if (!BuildSocks5Request(next)) {
          Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
          return false;
        }
        step_ = 3;
        replyExpected_ = 5;
      } else if (r[1] == 0x02) {
        if (!useAuthentication_) {
          Fail(kProxyAuthRequired, nullptr, WSAECONNABORTED);
          return false;
        }
        // RFC 1929: version 1, then user and password, each with a length byte.
        if (proxyUser_.size() > 255 || proxyPassword_.size() > 255) {
          Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
          return false;
        }
        next = '\x01';
        next += static_cast<char>(proxyUser_.size());
        next += proxyUser_;
        next += static_cast<char>(proxyPassword_.size());
        next += proxyPassword_;
        step_ = 2;
        replyExpected_ = 2;
      } else {
        Fail(kProxyAuthUnsupported, nullptr, WSAECONNABORTED);
        return false;
      }
      replyBuffer_.clear();
      return SendHandshake(next);
    }
    case 2: {
      if (r[1] != 0) {
        Fail(kProxyAuthFailed, nullptr, WSAECONNABORTED);
        return false;
      }
      std::string request;
      if (!BuildSocks5Request(request)) {
        Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
        return false;
      }
      step_ = 3;
      replyBuffer_.clear();
      replyExpected_ = 5;
      return SendHandshake(request);
    }
    case 3:
    case 4: {
      if (r[0] != 5 || r[1] != 0) {
        Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
        return false;
      }
      if (replyExpected_ == 5) {
        // The reply carries the bound address: IPv4, a name with its length, or IPv6.
        replyExpected_ = r[3] == 0x01 ? 10 : r[3] == 0x04 ? 22 : 7u + r[4];
        return true;
      }
      if (operation == kOpConnect || step_ == 4) {
        Succeed();
        return false;
      }
      uint32_t address = 0;
      uint16_t port = 0;
      const bool ipv4 = r[3] == 0x01;
      if (ipv4) {
        memcpy(&address, r + 4, 4);
        memcpy(&port, r + 8, 2);
      }
      step_ = 4;
      replyBuffer_.clear();
      replyExpected_ = 5;
      if (ipv4) ReportListenAddress(address, port);
      return operation_ != kOpNone;
    }
    default:
      Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
      return false;
  }
}

bool CProxyLayer::HandleHttpData() {
  // Up to 8 bytes first, then one at a time: the header's end is found
  // without taking a byte of what the server sends after it.
  char buffer[8];
  const int want = httpReply_.empty() ? 8 : 1;
  const int n = ReceiveDown(buffer, want, 0);
  if (n == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) Fail(kProxyRequestFailed, nullptr, error);
    return false;
  }
  if (n == 0) {
    Fail(kProxyRequestFailed, nullptr, WSAECONNABORTED);
    return false;
  }
  httpReply_.append(buffer, n);
  const size_t compare = httpReply_.size() < 5 ? httpReply_.size() : 5;
  if (httpReply_.compare(0, compare, "HTTP/", compare) != 0) {
    Fail(kProxyRequestFailed, kNoHttpReply, WSAECONNABORTED);
    return false;
  }
  const size_t lineEnd = httpReply_.find("\r\n");
  if (lineEnd != std::string::npos) {
    const size_t blank = httpReply_.find(' ');
    if (blank == std::string::npos || blank >= lineEnd || blank + 1 >= lineEnd || httpReply_[blank + 1] != '2') {
      const std::string statusLine = httpReply_.substr(0, lineEnd);
      Fail(kProxyRequestFailed, statusLine.c_str(), WSAECONNABORTED);
      return false;
    }
  }
  if (httpReply_.size() > 3 && httpReply_.compare(httpReply_.size() - 4, 4, "\r\n\r\n") == 0) {
    Succeed();
    return false;
  }
  if (httpReply_.size() > kMaxHttpReply) {
    const std::string statusLine = httpReply_.substr(0, httpReply_.find("\r\n"));
    Fail(kProxyRequestFailed, statusLine.c_str(), WSAECONNABORTED);
    return false;
  }
  return true;
}

}  // namespace pw
