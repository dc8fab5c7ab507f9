// Message ids and event words shared by the socket, its helper window and the layers.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>

namespace pw {

class CSocketLayer;

// Our own event: "read again", delivered without the readable-bytes check.
constexpr long FD_REREAD = 0x8000;
constexpr long kAllSocketEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

constexpr UINT kMsgLayerEvent = WM_USER;       // wParam socket, lParam LayerEventMessage*
constexpr UINT kMsgLookupDone = WM_USER + 1;   // wParam lookup handle
constexpr UINT kMsgSocketBase = WM_USER + 2;   // + slot: WSAAsyncSelect notifications

// An event a layer posted. Besides target and word it carries the socket's
// table slot and registration serial, so a message that outlives its socket
// (closed, re-created or deleted) is recognised without touching it.
struct LayerEventMessage {
  CSocketLayer* target = nullptr;  // null: the socket's owner
  DWORD word = 0;                  // low word event, high word error
  int slot = -1;
  uint64_t serial = 0;
};

inline DWORD MakeEventWord(long event, int error) {
  return MAKELONG(static_cast<WORD>(event % 65535), static_cast<WORD>(error));
}

}  // namespace pw
