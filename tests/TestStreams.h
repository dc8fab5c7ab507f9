// Helpers for tests that need an IStream over bytes in memory.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <cstdint>
#include <vector>

#include "base/Scoped.h"

namespace pwtest {

inline IStream* MemoryStream(const std::vector<uint8_t>& bytes = {}) {
  return SHCreateMemStream(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size()));
}

inline std::vector<uint8_t> StreamBytes(IStream* s) {
  STATSTG st = {};
  s->Stat(&st, STATFLAG_NONAME);
  std::vector<uint8_t> out(static_cast<size_t>(st.cbSize.QuadPart));
  LARGE_INTEGER zero = {};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  if (!out.empty()) s->Read(out.data(), static_cast<ULONG>(out.size()), &got);
  return out;
}

template <typename Tree>
std::vector<uint8_t> WriteTree(const Tree& t) {
  pw::ComPtr<IStream> s;
  *s.Out() = MemoryStream();
  t.WriteToStream(s.Get());
  return StreamBytes(s.Get());
}

template <typename Tree>
bool ReadTree(Tree& t, const std::vector<uint8_t>& bytes) {
  pw::ComPtr<IStream> s;
  *s.Out() = MemoryStream(bytes);
  return t.ReadFromStream(s.Get());
}

}  // namespace pwtest
