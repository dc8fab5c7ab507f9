// An IStream over a growing byte vector, so that the benchmark measures the
// tree and not the growth policy of a system memory stream.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <algorithm>
#include <cstring>
#include <vector>

class VectorStream final : public IStream {
 public:
  std::vector<uint8_t> bytes;
  size_t pos = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG n, ULONG* got) override {
    size_t k = std::min<size_t>(n, bytes.size() - pos);
    memcpy(out, bytes.data() + pos, k);
    pos += k;
    if (got) *got = static_cast<ULONG>(k);
    return k == n ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* in, ULONG n, ULONG* put) override {
    if (pos + n > bytes.size()) bytes.resize(pos + n);
    memcpy(bytes.data() + pos, in, n);
    pos += n;
    if (put) *put = n;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER to, DWORD origin, ULARGE_INTEGER* now) override {
    if (origin == STREAM_SEEK_SET) pos = static_cast<size_t>(to.QuadPart);
    if (now) now->QuadPart = pos;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD) override {
    memset(st, 0, sizeof *st);
    st->cbSize.QuadPart = bytes.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};
