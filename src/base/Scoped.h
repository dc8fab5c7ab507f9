// Small owners for Win32 handles: each frees its handle exactly once.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <utility>

namespace pw {

template <typename T, typename Traits>
class ScopedHandleT {
 public:
  ScopedHandleT() = default;
  explicit ScopedHandleT(T h) : h_(h) {}
  ~ScopedHandleT() { Reset(); }
  ScopedHandleT(const ScopedHandleT&) = delete;
  ScopedHandleT& operator=(const ScopedHandleT&) = delete;
  ScopedHandleT(ScopedHandleT&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  ScopedHandleT& operator=(ScopedHandleT&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.h_, Traits::Invalid()));
    return *this;
  }
  void Reset(T h = Traits::Invalid()) {
    if (Traits::Valid(h_)) Traits::Close(h_);
    h_ = h;
  }
  T Get() const { return h_; }
  T Release() { return std::exchange(h_, Traits::Invalid()); }
  explicit operator bool() const { return Traits::Valid(h_); }
  T* Out() { Reset(); return &h_; }

 private:
  T h_ = Traits::Invalid();
};

struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using ScopedHandle = ScopedHandleT<HANDLE, KernelHandleTraits>;

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool Valid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
using ScopedHKey = ScopedHandleT<HKEY, RegKeyTraits>;

struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static bool Valid(HICON h) { return h != nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
using ScopedIcon = ScopedHandleT<HICON, IconTraits>;

template <typename G>
struct GdiTraits {
  static G Invalid() { return nullptr; }
  static bool Valid(G h) { return h != nullptr; }
  static void Close(G h) { DeleteObject(h); }
};
using ScopedFont = ScopedHandleT<HFONT, GdiTraits<HFONT>>;
using ScopedBitmap = ScopedHandleT<HBITMAP, GdiTraits<HBITMAP>>;

struct MenuTraits {
  static HMENU Invalid() { return nullptr; }
  static bool Valid(HMENU h) { return h != nullptr; }
  static void Close(HMENU h) { DestroyMenu(h); }
};
using ScopedMenu = ScopedHandleT<HMENU, MenuTraits>;

struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool Valid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
using ScopedLibrary = ScopedHandleT<HMODULE, LibraryTraits>;

// A critical section that lives as long as its owner.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&cs_); }
  ~CriticalSection() { DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { EnterCriticalSection(&cs_); }
  void Leave() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class ScopedLock {
 public:
  explicit ScopedLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~ScopedLock() { cs_.Leave(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CriticalSection& cs_;
};

// CoInitialize for the lifetime of a scope (threads the plug-in starts).
class ScopedCoInit {
 public:
  ScopedCoInit() : hr_(CoInitialize(nullptr)) {}
  ~ScopedCoInit() { if (SUCCEEDED(hr_)) CoUninitialize(); }
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;
  bool Ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// Owning pointer for COM interfaces.
template <typename I>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  void Reset() { if (p_) { p_->Release(); p_ = nullptr; } }
  I* Get() const { return p_; }
  I* operator->() const { return p_; }
  I** Out() { Reset(); return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  I* p_ = nullptr;
};

}  // namespace pw
