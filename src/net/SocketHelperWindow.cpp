#include "net/SocketHelperWindow.h"

#include "net/AsyncSocketEx.h"
#include "net/SocketEvents.h"
#include "net/SocketLayer.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pw {

namespace {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool RegisterHelperClass() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
  wc.hInstance = ThisModule();
  wc.lpszClassName = CSocketHelperWindow::kClassName;
  if (RegisterClassW(&wc)) return true;
  return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The process-wide list of thread data: nodes pushed at the head.
struct ThreadNode {
  std::unique_ptr<ThreadNode> next;
  std::unique_ptr<SocketThreadData> data;
};

CriticalSection& ListLock() {
  static CriticalSection cs;
  return cs;
}
std::unique_ptr<ThreadNode>& ListHead() {
  static std::unique_ptr<ThreadNode> head;
  return head;
}

}  // namespace

CSocketHelperWindow::CSocketHelperWindow() {
  if (!RegisterHelperClass()) return;
  // Message-only: never shown, never enumerated, no broadcasts to handle.
  wnd_.Reset(CreateWindowW(kClassName, kClassName, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr));
  if (!wnd_) return;
  SetWindowLongPtrW(wnd_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(wnd_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
}

CSocketHelperWindow::~CSocketHelperWindow() {
  if (!wnd_) return;
  // Layer events still queued own their message records.
  MSG msg;
  while (PeekMessageW(&msg, wnd_.Get(), kMsgLayerEvent, kMsgLayerEvent, PM_REMOVE))
    std::unique_ptr<LayerEventMessage>(reinterpret_cast<LayerEventMessage*>(msg.lParam));
  SetWindowLongPtrW(wnd_.Get(), GWLP_USERDATA, 0);
  wnd_.Reset();
}

bool CSocketHelperWindow::Add(CAsyncSocketEx* socket) {
  const int slot = table_.Add(socket);
  if (slot < 0) return false;
  socket->slot_ = slot;
  socket->serial_ = nextSerial_++;
  return true;
}

void CSocketHelperWindow::Remove(CAsyncSocketEx* socket) {
  if (table_.At(socket->slot_) == socket) table_.Remove(socket->slot_);
  socket->slot_ = -1;
  socket->serial_ = 0;
}

void CSocketHelperWindow::RetireLookup(HANDLE request, std::unique_ptr<char[]> buffer) {
  retired_.push_back({request, std::move(buffer)});
}

LRESULT CALLBACK CSocketHelperWindow::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CSocketHelperWindow*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(wnd, msg, wp, lp);
  if (msg >= kMsgSocketBase && msg < kMsgSocketBase + SocketTable::kMaxSize) {
    self->OnSocketMessage(static_cast<int>(msg - kMsgSocketBase), wp, lp);
    return 0;
  }
  switch (msg) {
    case kMsgLayerEvent:
      if (lp) self->OnLayerEvent(wp, std::unique_ptr<LayerEventMessage>(reinterpret_cast<LayerEventMessage*>(lp)));
      return 0;
    case kMsgLookupDone:
      self->OnLookupDone(wp, lp);
      return 0;
    case WM_TIMER:
      self->OnTimer(wp);
      break;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

void CSocketHelperWindow::OnSocketMessage(int slot, WPARAM wp, LPARAM lp) {
  CAsyncSocketEx* socket = table_.At(slot);
  // A notification for a socket that has since closed (and maybe given its
  // slot to another) carries the old handle.
  if (!socket || socket->GetSocketHandle() != static_cast<SOCKET>(wp)) return;
  const long event = WSAGETSELECTEVENT(lp);
  int error = WSAGETSELECTERROR(lp);
  if (event == FD_READ) {
    u_long readable = 0;
    if (ioctlsocket(socket->GetSocketHandle(), FIONREAD, &readable) != 0) error = WSAGetLastError();
    if (readable == 0 && error == 0) return;  // nothing to read: no handler runs
  }
  if (socket->lastLayer_) {
    socket->lastLayer_->DispatchEvent(event, error);
    return;
  }
  switch (event) {
    case FD_READ:
      socket->KillTimer(1);
      socket->OnReceive(error);
      break;
    case FD_REREAD:
      socket->OnReceive(error);
      break;
    case FD_WRITE:
      socket->OnSend(error);
      break;
    case FD_ACCEPT:
      socket->OnAccept(error);
      break;
    case FD_CONNECT:
      socket->OnConnect(error);
      break;
    case FD_CLOSE:
      socket->DeliverClose(error);
      break;
    default:  // FD_OOB is not used
      break;
  }
}

void CSocketHelperWindow::OnLayerEvent(WPARAM wp, std::unique_ptr<LayerEventMessage> msg) {
  CAsyncSocketEx* socket = table_.At(msg->slot);
  if (!socket || reinterpret_cast<WPARAM>(socket) != wp || socket->serial_ != msg->serial) return;
  const long event = LOWORD(msg->word);
  const int error = HIWORD(msg->word);
  if (!msg->target) {
    socket->DispatchToOwner(event, error);
    return;
  }
  // Only a layer that is still in the socket's chain.
  for (CSocketLayer* layer = socket->firstLayer_; layer; layer = layer->next_) {
    if (layer == msg->target) {
      layer->DispatchEvent(event, error);
      return;
    }
  }
}

void CSocketHelperWindow::OnLookupDone(WPARAM wp, LPARAM lp) {
  const HANDLE request = reinterpret_cast<HANDLE>(wp);
  for (auto it = retired_.begin(); it != retired_.end(); ++it) {
    if (it->request == request) {
      retired_.erase(it);
      return;
    }
  }
  CAsyncSocketEx* socket = nullptr;
  for (int i = 0; i < table_.Size() && !socket; ++i) {
    CAsyncSocketEx* s = table_.At(i);
    if (s && s->lookupHandle_.Get() == request) socket = s;
  }
  if (!socket) return;
  socket->lookupHandle_.Release();  // finished: nothing left to cancel
  std::unique_ptr<char[]> buffer = std::move(socket->lookupBuffer_);
  const int error = WSAGETASYNCERROR(lp);
  if (error) {
    socket->OnConnect(error);
    return;
  }
  const auto* host = reinterpret_cast<const hostent*>(buffer.get());
  if (!host || !host->h_addr_list || !host->h_addr_list[0]) {
    socket->OnConnect(WSAHOST_NOT_FOUND);
    return;
  }
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  memcpy(&sin.sin_addr, host->h_addr_list[0], sizeof(sin.sin_addr));
  sin.sin_port = htons(socket->lookupPort_);
  buffer.reset();
  if (!socket->Connect(reinterpret_cast<const SOCKADDR*>(&sin), sizeof(sin))) {
    const int connectError = WSAGetLastError();
    if (connectError != WSAEWOULDBLOCK) socket->OnConnect(connectError);
  }
}

void CSocketHelperWindow::OnTimer(WPARAM wp) {
  CAsyncSocketEx* socket = table_.At(static_cast<int>(wp));
  if (!socket) {
    ::KillTimer(wnd_.Get(), wp);  // a timer nobody owns any more
    return;
  }
  socket->windowTimer_.Kill();
  socket->timerId_ = 0;
  socket->OnTimer(0);
}

SocketThreadData* AttachSocketThread() {
  ScopedLock lock(ListLock());
  const DWORD id = GetCurrentThreadId();
  for (ThreadNode* n = ListHead().get(); n; n = n->next.get()) {
    if (n->data->threadId == id) {
      ++n->data->refCount;
      return n->data.get();
    }
  }
  auto data = std::make_unique<SocketThreadData>();
  data->helper = std::make_unique<CSocketHelperWindow>();
  if (!data->helper->Window()) return nullptr;
  data->refCount = 1;
  data->threadId = id;
  auto node = std::make_unique<ThreadNode>();
  node->data = std::move(data);
  node->next = std::move(ListHead());
  ListHead() = std::move(node);
  return ListHead()->data.get();
}

void DetachSocketThread(SocketThreadData* data) {
  if (!data) return;
  ScopedLock lock(ListLock());
  for (std::unique_ptr<ThreadNode>* link = &ListHead(); *link; link = &(*link)->next) {
    if ((*link)->data.get() != data) continue;
    if (--data->refCount == 0) *link = std::move((*link)->next);  // destroys data and window
    return;
  }
}

}  // namespace pw
