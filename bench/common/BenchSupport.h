// Shared by the benchmarks: clocks, and an IStream over a growing byte
// vector, so that a benchmark measures our code and not the growth policy of
// a system memory stream.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <algorithm>
#include <cstring>
#include <vector>

// Wall clock, seconds.
inline double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

// CPU time of this thread, seconds: the machine may be busy with other work.
inline double ThreadCpu() {
  FILETIME c, e, k, u;
  GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
  auto v = [](FILETIME f) { return (double(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) * 1e-7; };
  return v(k) + v(u);
}

class VectorStream final : public IStream {
 public:
  std::vector<uint8_t> data;
  size_t pos = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG n, ULONG* got) override {
    size_t k = std::min<size_t>(n, data.size() - pos);
    memcpy(out, data.data() + pos, k);
    pos += k;
    if (got) *got = static_cast<ULONG>(k);
    return k == n ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* in, ULONG n, ULONG* put) override {
    if (pos + n > data.size()) data.resize(pos + n);
    memcpy(data.data() + pos, in, n);
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
    st->cbSize.QuadPart = data.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};
