// Non-blocking TCP socket whose Winsock notifications arrive as window
// messages on a hidden window of the creating thread, with an optional chain
// of layers (proxy, TLS) between the owner and Winsock.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>

#include "net/NetHandles.h"
#include "net/SocketEvents.h"

namespace pw {

class CSocketLayer;
class CSocketHelperWindow;
struct SocketThreadData;

class CAsyncSocketEx {
 public:
  CAsyncSocketEx();
  virtual ~CAsyncSocketEx();
  CAsyncSocketEx(const CAsyncSocketEx&) = delete;
  CAsyncSocketEx& operator=(const CAsyncSocketEx&) = delete;

  virtual BOOL Create(UINT port = 0, int socketType = SOCK_STREAM, long eventMask = kAllSocketEvents,
                      const char* address = nullptr);
  virtual void Close();
  virtual BOOL Connect(const SOCKADDR* address, int length);
  virtual BOOL Connect(const char* host, UINT port);
  virtual int Receive(void* buffer, int length, int flags = 0);
  virtual int Send(const void* buffer, int length, int flags = 0);
  virtual BOOL SetTimer(UINT id, UINT milliseconds);
  virtual BOOL KillTimer(UINT id);
  virtual void OnAccept(int error) {}
  virtual void OnClose(int error) {}
  virtual void OnConnect(int error) {}
  virtual void OnReceive(int error) {}
  virtual void OnSend(int error) {}
  virtual void OnTimer(UINT id) {}
  // kind 0: state change (param1 new, param2 old); kind 1: layer report.
  virtual int OnLayerNotify(CSocketLayer* layer, int kind, intptr_t param1, intptr_t param2) { return 1; }

  BOOL AsyncSelect(long eventMask);
  BOOL PostEvent(long event);
  BOOL AddLayer(CSocketLayer* layer);
  void RemoveAllLayers();
  BOOL ShutDown(int how = SD_SEND);
  BOOL Bind(UINT port, const char* address);
  BOOL Listen(int backlog = 5);
  BOOL Accept(CAsyncSocketEx& connected, SOCKADDR* address = nullptr, int* length = nullptr);
  BOOL GetPeerName(SOCKADDR* address, int* length);
  BOOL IOCtl(long command, u_long* argument);
  static int GetLastError() { return WSAGetLastError(); }

  SOCKET GetSocketHandle() const { return handle_.Get(); }
  int GetSlot() const { return slot_; }
  UINT GetTimerId() const { return timerId_; }
  long GetEventMask() const { return eventMask_; }
  bool HasLayers() const { return firstLayer_ != nullptr; }
  HWND GetHelperWindow() const;

 private:
  friend class CSocketLayer;
  friend class CSocketHelperWindow;

  bool AttachThread();
  bool Register();      // into the helper window's table
  void Unregister();
  BOOL SelectRaw(long eventMask);
  BOOL ConnectRaw(const SOCKADDR* address, int length);
  BOOL AcceptRaw(CAsyncSocketEx& connected, SOCKADDR* address, int* length);
  // The owner's handler for one event, filtered by the event mask.
  void DispatchToOwner(long event, int error);
  void DeliverClose(int error);

  ScopedSocket handle_;
  int slot_ = -1;
  UINT timerId_ = 0;
  long eventMask_ = 0;
  std::unique_ptr<char[]> lookupBuffer_;
  ScopedAsyncRequest lookupHandle_;
  u_short lookupPort_ = 0;
  SocketThreadData* threadData_ = nullptr;
  CSocketLayer* firstLayer_ = nullptr;
  CSocketLayer* lastLayer_ = nullptr;
  // Registration serial: posted layer events carry it (see LayerEventMessage).
  uint64_t serial_ = 0;
  // OnClose already reached the owner for this handle (from FD_CLOSE), so the
  // Close() that follows does not report the same close twice.
  bool closeReported_ = false;
  ScopedWindowTimer windowTimer_;
};

}  // namespace pw
