// Base of the layers between a CAsyncSocketEx and Winsock. Calls from the
// owner travel down the chain, Winsock events travel up.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>

namespace pw {

class CAsyncSocketEx;

enum LayerState : unsigned {
  kLayerNone = 0,
  kLayerUnconnected = 1,
  kLayerConnecting = 2,
  kLayerListening = 3,
  kLayerConnected = 4,
  kLayerClosed = 5,   // peer closed gracefully
  kLayerAborted = 6,  // closed with an error
};

class CSocketLayer {
 public:
  CSocketLayer() = default;
  virtual ~CSocketLayer() = default;
  CSocketLayer(const CSocketLayer&) = delete;
  CSocketLayer& operator=(const CSocketLayer&) = delete;

  virtual void OnAccept(int error);
  virtual void OnClose(int error);
  virtual void OnConnect(int error);
  virtual void OnReceive(int error);
  virtual void OnSend(int error);
  virtual BOOL Accept(CAsyncSocketEx& connected, SOCKADDR* address, int* length);
  virtual void Close();
  virtual BOOL Connect(const SOCKADDR* address, int length);
  virtual BOOL Connect(const char* host, UINT port);
  virtual BOOL Create(UINT port, int socketType, long eventMask, const char* address);
  virtual BOOL GetPeerName(SOCKADDR* address, int* length);
  virtual BOOL Listen(int backlog);
  virtual int Receive(void* buffer, int length, int flags);
  virtual int Send(const void* buffer, int length, int flags);
  virtual BOOL ShutDown(int how);

  unsigned GetLayerState() const { return state_; }
  int GetPendingError() const { return pendingError_; }
  CAsyncSocketEx* GetOwner() const { return owner_; }

 protected:
  int ReceiveDown(void* buffer, int length, int flags);
  int SendDown(const void* buffer, int length, int flags);
  BOOL ConnectDown(const SOCKADDR* address, int length);
  BOOL ConnectDown(const char* host, UINT port);
  void CloseDown();
  BOOL ListenDown(int backlog);
  BOOL AcceptDown(CAsyncSocketEx& connected, SOCKADDR* address, int* length);
  BOOL GetPeerNameDown(SOCKADDR* address, int* length);
  BOOL ShutDownDown(int how);
  BOOL CreateDown(UINT port, int socketType, long eventMask, const char* address);

  // Posts an event to the layer above (toUpper; the owner when this is the
  // top layer) or to this layer, for the helper window to deliver later.
  BOOL PostLayerEvent(long event, int error, bool toUpper);
  int NotifyOwner(int kind, intptr_t param1, intptr_t param2);
  void SetState(unsigned state);
  // Hands an event to the layer above, or to the owner at the top.
  void PassUp(long event, int error);
  // An event of a layer's own that it posted to itself (PostLayerEvent with
  // toUpper false), delivered in any state but "none".
  virtual void OnPrivateEvent(long event, int error) {}

 private:
  friend class CAsyncSocketEx;
  friend class CSocketHelperWindow;

  void Init(CSocketLayer* previous, CAsyncSocketEx* owner);
  void DispatchEvent(long event, int error);
  // Shared refusal of ReceiveDown, SendDown and ShutDown: the stored error,
  // or not a socket / not connected by state. 0 when the call may go on.
  int RefusalError() const;

  CAsyncSocketEx* owner_ = nullptr;
  unsigned state_ = kLayerNone;
  int pendingError_ = 0;
  CSocketLayer* next_ = nullptr;      // below, nearer to Winsock
  CSocketLayer* previous_ = nullptr;  // above, nearer to the owner
};

}  // namespace pw
