// The hidden window of one thread that turns socket notifications, lookups,
// posted layer events and timers into calls on its sockets.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "net/NetHandles.h"
#include "net/SocketTable.h"

namespace pw {

class CAsyncSocketEx;
struct LayerEventMessage;

class CSocketHelperWindow {
 public:
  static constexpr const wchar_t* kClassName = L"CAsyncSocketEx Helper Window";

  CSocketHelperWindow();
  ~CSocketHelperWindow();
  CSocketHelperWindow(const CSocketHelperWindow&) = delete;
  CSocketHelperWindow& operator=(const CSocketHelperWindow&) = delete;

  HWND Window() const { return wnd_.Get(); }
  bool Add(CAsyncSocketEx* socket);
  void Remove(CAsyncSocketEx* socket);
  const SocketTable& Table() const { return table_; }

  // A lookup whose socket closed keeps its result buffer alive until the
  // resolver has written it and posted its message.
  void RetireLookup(HANDLE request, std::unique_ptr<char[]> buffer);

 private:
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void OnSocketMessage(int slot, WPARAM wp, LPARAM lp);
  void OnLayerEvent(WPARAM wp, std::unique_ptr<LayerEventMessage> msg);
  void OnLookupDone(WPARAM wp, LPARAM lp);
  void OnTimer(WPARAM wp);

  ScopedWindow wnd_;
  SocketTable table_;
  uint64_t nextSerial_ = 1;
  struct RetiredLookup {
    HANDLE request;
    std::unique_ptr<char[]> buffer;
  };
  std::vector<RetiredLookup> retired_;
};

// The helper window of one thread and the count of its sockets. All of them
// hang in one process-wide list guarded by one critical section.
struct SocketThreadData {
  std::unique_ptr<CSocketHelperWindow> helper;
  int refCount = 0;
  DWORD threadId = 0;
};

// Finds or makes the current thread's data (count + 1); null on failure.
SocketThreadData* AttachSocketThread();
// Count - 1; the last detach destroys the helper window.
void DetachSocketThread(SocketThreadData* data);

}  // namespace pw
