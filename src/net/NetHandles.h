// Owners for the Winsock, window and certificate-store handles of the transport.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include "base/Scoped.h"

namespace pw {

struct SocketTraits {
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool Valid(SOCKET s) { return s != INVALID_SOCKET; }
  static void Close(SOCKET s) { closesocket(s); }
};
using ScopedSocket = ScopedHandleT<SOCKET, SocketTraits>;

struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool Valid(HWND h) { return h != nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};
using ScopedWindow = ScopedHandleT<HWND, WindowTraits>;

// A pending WSAAsyncGetHostByName request; closing it cancels the lookup.
struct AsyncRequestTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { WSACancelAsyncRequest(h); }
};
using ScopedAsyncRequest = ScopedHandleT<HANDLE, AsyncRequestTraits>;

struct CertStoreTraits {
  static HCERTSTORE Invalid() { return nullptr; }
  static bool Valid(HCERTSTORE h) { return h != nullptr; }
  static void Close(HCERTSTORE h) { CertCloseStore(h, 0); }
};
using ScopedCertStore = ScopedHandleT<HCERTSTORE, CertStoreTraits>;

struct CertContextTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static bool Valid(PCCERT_CONTEXT h) { return h != nullptr; }
  static void Close(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
using ScopedCertContext = ScopedHandleT<PCCERT_CONTEXT, CertContextTraits>;

// Window timer on a helper window; killing it is the release.
class ScopedWindowTimer {
 public:
  ScopedWindowTimer() = default;
  ~ScopedWindowTimer() { Kill(); }
  ScopedWindowTimer(const ScopedWindowTimer&) = delete;
  ScopedWindowTimer& operator=(const ScopedWindowTimer&) = delete;
  bool Start(HWND wnd, UINT_PTR id, UINT ms) {
    if (!wnd || !::SetTimer(wnd, id, ms, nullptr)) return false;
    wnd_ = wnd;
    id_ = id;
    return true;
  }
  void Kill() {
    if (wnd_) ::KillTimer(wnd_, id_);
    wnd_ = nullptr;
  }
  bool Running() const { return wnd_ != nullptr; }

 private:
  HWND wnd_ = nullptr;
  UINT_PTR id_ = 0;
};

}  // namespace pw
