#include "net/AsyncSocketEx.h"

#include "net/SocketHelperWindow.h"
#include "net/SocketLayer.h"

namespace pw {

namespace {
constexpr int kLookupBufferSize = MAXGETHOSTSTRUCT;  // 1024
}

CAsyncSocketEx::CAsyncSocketEx() = default;

CAsyncSocketEx::~CAsyncSocketEx() {
  // Runs with this class's handlers only: the owner's OnClose is gone.
  Close();
  DetachSocketThread(threadData_);
  threadData_ = nullptr;
}

HWND CAsyncSocketEx::GetHelperWindow() const {
  return threadData_ && threadData_->helper ? threadData_->helper->Window() : nullptr;
}

bool CAsyncSocketEx::AttachThread() {
  if (threadData_) return true;
  threadData_ = AttachSocketThread();
  return threadData_ != nullptr;
}

bool CAsyncSocketEx::Register() { return threadData_ && threadData_->helper->Add(this); }

void CAsyncSocketEx::Unregister() {
  if (threadData_ && slot_ >= 0) threadData_->helper->Remove(this);
  slot_ = -1;
}

BOOL CAsyncSocketEx::Create(UINT port, int socketType, long eventMask, const char* address) {
  if (handle_) {
    WSASetLastError(WSAEALREADY);
    return FALSE;
  }
  if (!AttachThread()) {
    WSASetLastError(WSANOTINITIALISED);
    return FALSE;
  }
  closeReported_ = false;
  if (firstLayer_) return firstLayer_->Create(port, socketType, eventMask, address);

  handle_.Reset(socket(AF_INET, socketType, 0));
  if (!handle_) return FALSE;
  if (!Register() || !AsyncSelect(eventMask) || !Bind(port, address)) {
    const int error = WSAGetLastError();
    Close();
    WSASetLastError(error ? error : WSAENOBUFS);
    return FALSE;
  }
  return TRUE;
}

BOOL CAsyncSocketEx::SelectRaw(long eventMask) {
  if (!handle_ || slot_ < 0) {
    WSASetLastError(WSAENOTSOCK);
    return FALSE;
  }
  return WSAAsyncSelect(handle_.Get(), GetHelperWindow(), kMsgSocketBase + slot_, eventMask) == 0;
}

BOOL CAsyncSocketEx::AsyncSelect(long eventMask) {
  eventMask_ = eventMask;
  if (firstLayer_) return TRUE;  // the chain selects everything itself
  return SelectRaw(eventMask);
}

BOOL CAsyncSocketEx::Bind(UINT port, const char* address) {
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  if (address) {
    sin.sin_addr.s_addr = inet_addr(address);
    if (sin.sin_addr.s_addr == INADDR_NONE) {
      WSASetLastError(WSAEINVAL);
      return FALSE;
    }
  } else {
    sin.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  sin.sin_port = htons(static_cast<u_short>(port));
  return bind(handle_.Get(), reinterpret_cast<SOCKADDR*>(&sin), sizeof(sin)) == 0;
}

void CAsyncSocketEx::Close() {
  if (firstLayer_) firstLayer_->Close();
  const bool hadHandle = static_cast<bool>(handle_);
  if (hadHandle) {
    windowTimer_.Kill();  // a timer must not outlive the slot it is named after
    timerId_ = 0;
    handle_.Reset();
    // Winsock hands out a closed socket's handle value again at once, so a
    // notification still queued for this slot could pass for the next
    // socket's: drop them with the socket.
    if (HWND wnd = GetHelperWindow(); wnd && slot_ >= 0) {
      MSG msg;
      while (PeekMessageW(&msg, wnd, kMsgSocketBase + slot_, kMsgSocketBase + slot_, PM_REMOVE)) {
      }
    }
    Unregister();
  }
  firstLayer_ = nullptr;
  lastLayer_ = nullptr;
  if (lookupHandle_) {
    const HANDLE request = lookupHandle_.Get();
    lookupHandle_.Reset();  // cancels
    // The resolver may still write the buffer: the helper window keeps it
    // until the lookup's message arrives.
    if (threadData_) threadData_->helper->RetireLookup(request, std::move(lookupBuffer_));
  }
  lookupBuffer_.reset();
  if (hadHandle && !closeReported_) {
    closeReported_ = true;
    OnClose(0);
  }
}

BOOL CAsyncSocketEx::ConnectRaw(const SOCKADDR* address, int length) {
  return connect(handle_.Get(), address, length) != SOCKET_ERROR;
}

BOOL CAsyncSocketEx::Connect(const SOCKADDR* address, int length) {
  if (firstLayer_) return firstLayer_->Connect(address, length);
  return ConnectRaw(address, length);
}

BOOL CAsyncSocketEx::Connect(const char* host, UINT port) {
  if (firstLayer_) return firstLayer_->Connect(host, port);
  if (!host) {
    WSASetLastError(WSAEINVAL);
    return FALSE;
  }
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(static_cast<u_short>(port));
  sin.sin_addr.s_addr = inet_addr(host);
  if (sin.sin_addr.s_addr != INADDR_NONE)
    return ConnectRaw(reinterpret_cast<SOCKADDR*>(&sin), sizeof(sin));

  // A name: resolved without blocking, the connect follows on WM_USER+1.
  if (!threadData_) {
    WSASetLastError(WSAENOTSOCK);
    return FALSE;
  }
  if (lookupHandle_) lookupHandle_.Reset();
  lookupBuffer_ = std::make_unique<char[]>(kLookupBufferSize);
  lookupPort_ = static_cast<u_short>(port);
  lookupHandle_.Reset(WSAAsyncGetHostByName(GetHelperWindow(), kMsgLookupDone, host, lookupBuffer_.get(),
                                            kLookupBufferSize));
  if (!lookupHandle_) {
    lookupBuffer_.reset();
    return FALSE;
  }
  WSASetLastError(WSAEWOULDBLOCK);
  return TRUE;
}

int CAsyncSocketEx::Receive(void* buffer, int length, int flags) {
  if (firstLayer_) return firstLayer_->Receive(buffer, length, flags);
  return recv(handle_.Get(), static_cast<char*>(buffer), length, flags);
}

int CAsyncSocketEx::Send(const void* buffer, int length, int flags) {
  if (firstLayer_) return firstLayer_->Send(buffer, length, flags);
  return send(handle_.Get(), static_cast<const char*>(buffer), length, flags);
}

BOOL CAsyncSocketEx::SetTimer(UINT id, UINT milliseconds) {
  KillTimer(id);
  if (id == 0) return TRUE;
  // The one window timer is named after the slot; starting it again replaces it.
  if (slot_ < 0 || !GetHelperWindow()) return FALSE;
  timerId_ = id;
  windowTimer_.Kill();
  return windowTimer_.Start(GetHelperWindow(), static_cast<UINT_PTR>(slot_), milliseconds);
}

BOOL CAsyncSocketEx::KillTimer(UINT id) {
  if (id != timerId_ || id == 0) return FALSE;
  windowTimer_.Kill();
  timerId_ = 0;
  return TRUE;
}

BOOL CAsyncSocketEx::PostEvent(long event) {
  if (!handle_ || slot_ < 0) return FALSE;
  if (!firstLayer_)
    return PostMessageW(GetHelperWindow(), kMsgSocketBase + slot_, static_cast<WPARAM>(handle_.Get()),
                        MAKELONG(static_cast<WORD>(event % 65535), 0));
  auto msg = std::make_unique<LayerEventMessage>();
  msg->word = MakeEventWord(event, 0);
  msg->slot = slot_;
  msg->serial = serial_;
  if (!PostMessageW(GetHelperWindow(), kMsgLayerEvent, reinterpret_cast<WPARAM>(this),
                    reinterpret_cast<LPARAM>(msg.get())))
    return FALSE;
  msg.release();  // the window procedure frees it
  return TRUE;
}

BOOL CAsyncSocketEx::AddLayer(CSocketLayer* layer) {
  if (handle_ || !layer) return FALSE;
  if (!firstLayer_) {
    layer->Init(nullptr, this);
    firstLayer_ = lastLayer_ = layer;
  } else {
    layer->Init(lastLayer_, this);
    lastLayer_->next_ = layer;
    lastLayer_ = layer;
  }
  return TRUE;
}

void CAsyncSocketEx::RemoveAllLayers() {
  firstLayer_ = nullptr;
  lastLayer_ = nullptr;
}

BOOL CAsyncSocketEx::ShutDown(int how) {
  if (firstLayer_) return firstLayer_->ShutDown(how);
  return shutdown(handle_.Get(), how) == 0;
}

BOOL CAsyncSocketEx::Listen(int backlog) {
  if (firstLayer_) return firstLayer_->Listen(backlog);
  return listen(handle_.Get(), backlog) == 0;
}

BOOL CAsyncSocketEx::Accept(CAsyncSocketEx& connected, SOCKADDR* address, int* length) {
  if (connected.handle_) {
    WSASetLastError(WSAEALREADY);
    return FALSE;
  }
  if (firstLayer_) return firstLayer_->Accept(connected, address, length);
  return AcceptRaw(connected, address, length);
}

BOOL CAsyncSocketEx::AcceptRaw(CAsyncSocketEx& connected, SOCKADDR* address, int* length) {
  if (!connected.AttachThread()) {
    WSASetLastError(WSANOTINITIALISED);
    return FALSE;
  }
  connected.handle_.Reset(accept(handle_.Get(), address, length));
  if (!connected.handle_) return FALSE;
  connected.closeReported_ = false;
  if (!connected.Register() || !connected.AsyncSelect(eventMask_)) {
    const int error = WSAGetLastError();
    connected.Close();
    WSASetLastError(error ? error : WSAENOBUFS);
    return FALSE;
  }
  return TRUE;
}

BOOL CAsyncSocketEx::GetPeerName(SOCKADDR* address, int* length) {
  if (firstLayer_) return firstLayer_->GetPeerName(address, length);
  return getpeername(handle_.Get(), address, length) == 0;
}

BOOL CAsyncSocketEx::IOCtl(long command, u_long* argument) {
  return ioctlsocket(handle_.Get(), command, argument) == 0;
}

void CAsyncSocketEx::DeliverClose(int error) {
  if (closeReported_) return;
  closeReported_ = true;
  OnClose(error);
}

void CAsyncSocketEx::DispatchToOwner(long event, int error) {
  switch (event) {
    case FD_READ:
      if (eventMask_ & FD_READ) OnReceive(error);
      break;
    case FD_REREAD:
      if (eventMask_ & FD_REREAD) OnReceive(error);
      break;
    case FD_WRITE:
      if (eventMask_ & FD_WRITE) OnSend(error);
      break;
    case FD_ACCEPT:
      if (eventMask_ & FD_ACCEPT) OnAccept(error);
      break;
    case FD_CONNECT:
      if (eventMask_ & FD_CONNECT) OnConnect(error);
      break;
    case FD_CLOSE:
      if (eventMask_ & FD_CLOSE) DeliverClose(error);
      break;
    default:
      break;
  }
}

}  // namespace pw
