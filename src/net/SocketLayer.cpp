#include "net/SocketLayer.h"

#include <memory>

#include "net/AsyncSocketEx.h"
#include "net/SocketEvents.h"

namespace pw {

void CSocketLayer::Init(CSocketLayer* previous, CAsyncSocketEx* owner) {
  owner_ = owner;
  previous_ = previous;
  next_ = nullptr;
  state_ = kLayerNone;
  pendingError_ = 0;
}

void CSocketLayer::DispatchEvent(long event, int error) {
  if (pendingError_) return;  // the layer has failed: later events are dropped
  pendingError_ = error;
  switch (event) {
    case FD_CONNECT:
      if (state_ != kLayerConnecting) return;
      SetState(error ? kLayerAborted : kLayerConnected);
      OnConnect(error);
      break;
    case FD_CLOSE:
      if (state_ != kLayerConnected) return;
      SetState(error ? kLayerAborted : kLayerClosed);
      OnClose(error);
      break;
    case FD_READ:
    case FD_REREAD:
      if (state_ != kLayerConnected) return;
      if (error) SetState(kLayerAborted);
      OnReceive(error);
      break;
    case FD_WRITE:
      if (state_ != kLayerConnected) return;
      if (error) SetState(kLayerAborted);
      OnSend(error);
      break;
    case FD_ACCEPT:
      if (state_ != kLayerListening) return;
      SetState(error ? kLayerAborted : kLayerConnected);
      OnAccept(error);
      break;
    default:
      if (state_ != kLayerNone) OnPrivateEvent(event, error);
      break;
  }
}

void CSocketLayer::PassUp(long event, int error) {
  if (previous_)
    previous_->DispatchEvent(event, error);
  else if (owner_)
    owner_->DispatchToOwner(event, error);
}

void CSocketLayer::OnAccept(int error) { PassUp(FD_ACCEPT, error); }
void CSocketLayer::OnClose(int error) { PassUp(FD_CLOSE, error); }
void CSocketLayer::OnConnect(int error) { PassUp(FD_CONNECT, error); }
void CSocketLayer::OnReceive(int error) { PassUp(FD_READ, error); }
void CSocketLayer::OnSend(int error) { PassUp(FD_WRITE, error); }

BOOL CSocketLayer::Accept(CAsyncSocketEx& connected, SOCKADDR* address, int* length) {
  return AcceptDown(connected, address, length);
}
void CSocketLayer::Close() {
  SetState(kLayerNone);
  CloseDown();
}
BOOL CSocketLayer::Connect(const SOCKADDR* address, int length) { return ConnectDown(address, length); }
BOOL CSocketLayer::Connect(const char* host, UINT port) { return ConnectDown(host, port); }
BOOL CSocketLayer::Create(UINT port, int socketType, long eventMask, const char* address) {
  return CreateDown(port, socketType, eventMask, address);
}
BOOL CSocketLayer::GetPeerName(SOCKADDR* address, int* length) { return GetPeerNameDown(address, length); }
BOOL CSocketLayer::Listen(int backlog) { return ListenDown(backlog); }
int CSocketLayer::Receive(void* buffer, int length, int flags) { return ReceiveDown(buffer, length, flags); }
int CSocketLayer::Send(const void* buffer, int length, int flags) { return SendDown(buffer, length, flags); }

BOOL CSocketLayer::ShutDown(int how) {
  if (const int error = RefusalError()) {
    WSASetLastError(error);
    return FALSE;
  }
  return ShutDownDown(how);
}

int CSocketLayer::RefusalError() const {
  if (pendingError_) return pendingError_;
  switch (state_) {
    case kLayerNone:
      return WSAENOTSOCK;
    case kLayerUnconnected:
    case kLayerConnecting:
    case kLayerListening:
      return WSAENOTCONN;
    default:
      return 0;
  }
}

int CSocketLayer::ReceiveDown(void* buffer, int length, int flags) {
  if (const int error = RefusalError()) {
    WSASetLastError(error);
    return SOCKET_ERROR;
  }
  if (next_) return next_->Receive(buffer, length, flags);
  return recv(owner_->GetSocketHandle(), static_cast<char*>(buffer), length, flags);
}

int CSocketLayer::SendDown(const void* buffer, int length, int flags) {
  if (const int error = RefusalError()) {
    WSASetLastError(error);
    return SOCKET_ERROR;
  }
  if (next_) return next_->Send(buffer, length, flags);
  return send(owner_->GetSocketHandle(), static_cast<const char*>(buffer), length, flags);
}

BOOL CSocketLayer::ConnectDown(const SOCKADDR* address, int length) {
  const BOOL ok = next_ ? next_->Connect(address, length) : owner_->ConnectRaw(address, length);
  if (ok || WSAGetLastError() == WSAEWOULDBLOCK) SetState(kLayerConnecting);
  return ok;
}

BOOL CSocketLayer::ConnectDown(const char* host, UINT port) {
  BOOL ok;
  if (next_) {
    ok = next_->Connect(host, port);
  } else {
    // The bottom of a chain resolves synchronously.
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<u_short>(port));
    sin.sin_addr.s_addr = host ? inet_addr(host) : INADDR_NONE;
    if (sin.sin_addr.s_addr == INADDR_NONE) {
      const hostent* he = host ? gethostbyname(host) : nullptr;
      if (!he || !he->h_addr_list || !he->h_addr_list[0]) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
      }
      memcpy(&sin.sin_addr, he->h_addr_list[0], sizeof(sin.sin_addr));
    }
    ok = owner_->ConnectRaw(reinterpret_cast<SOCKADDR*>(&sin), sizeof(sin));
  }
  if (ok || WSAGetLastError() == WSAEWOULDBLOCK) SetState(kLayerConnecting);
  return ok;
}

void CSocketLayer::CloseDown() {
  if (next_) next_->Close();
}

BOOL CSocketLayer::ListenDown(int backlog) {
  const BOOL ok = next_ ? next_->Listen(backlog) : listen(owner_->GetSocketHandle(), backlog) == 0;
  if (ok) SetState(kLayerListening);
  return ok;
}

BOOL CSocketLayer::AcceptDown(CAsyncSocketEx& connected, SOCKADDR* address, int* length) {
  if (next_) return next_->Accept(connected, address, length);
  return owner_->AcceptRaw(connected, address, length);
}

BOOL CSocketLayer::GetPeerNameDown(SOCKADDR* address, int* length) {
  if (next_) return next_->GetPeerName(address, length);
  return getpeername(owner_->GetSocketHandle(), address, length) == 0;
}

BOOL CSocketLayer::ShutDownDown(int how) {
  if (next_) return next_->ShutDown(how);
  return shutdown(owner_->GetSocketHandle(), how) == 0;
}

BOOL CSocketLayer::CreateDown(UINT port, int socketType, long eventMask, const char* address) {
  if (next_) {
    if (!next_->Create(port, socketType, eventMask, address)) return FALSE;
    SetState(kLayerUnconnected);
    return TRUE;
  }
  CAsyncSocketEx* owner = owner_;
  owner->handle_.Reset(socket(AF_INET, socketType, 0));
  if (!owner->handle_) return FALSE;
  // The chain sees every event whatever the owner asked for.
  if (!owner->Register() || !owner->AsyncSelect(eventMask) || !owner->SelectRaw(kAllSocketEvents) ||
      !owner->Bind(port, address)) {
    const int error = WSAGetLastError();
    owner->Close();
    WSASetLastError(error ? error : WSAENOBUFS);
    return FALSE;
  }
  SetState(kLayerUnconnected);
  return TRUE;
}

BOOL CSocketLayer::PostLayerEvent(long event, int error, bool toUpper) {
  if (!owner_ || owner_->GetSocketHandle() == INVALID_SOCKET || owner_->GetSlot() < 0) return FALSE;
  if ((event & FD_CONNECT) && error) {
    SetState(kLayerAborted);
    pendingError_ = error;
  } else if (event & FD_CLOSE) {
    SetState(error ? kLayerAborted : kLayerClosed);
    if (error) pendingError_ = error;
  }
  auto msg = std::make_unique<LayerEventMessage>();
  msg->target = toUpper ? previous_ : this;
  msg->word = MakeEventWord(event, error);
  msg->slot = owner_->GetSlot();
  msg->serial = owner_->serial_;
  if (!PostMessageW(owner_->GetHelperWindow(), kMsgLayerEvent, reinterpret_cast<WPARAM>(owner_),
                    reinterpret_cast<LPARAM>(msg.get())))
    return FALSE;
  msg.release();  // the window procedure frees it
  return TRUE;
}

int CSocketLayer::NotifyOwner(int kind, intptr_t param1, intptr_t param2) {
  if (!owner_) return 0;
  const int saved = WSAGetLastError();
  const int result = owner_->OnLayerNotify(this, kind, param1, param2);
  WSASetLastError(saved);
  return result;
}

void CSocketLayer::SetState(unsigned state) {
  if (state == state_) return;
  const unsigned old = state_;
  state_ = state;
  NotifyOwner(0, state, old);
}

}  // namespace pw
