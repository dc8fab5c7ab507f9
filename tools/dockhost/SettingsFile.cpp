#include "SettingsFile.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/Scoped.h"

namespace dockhost {

std::vector<uint8_t> ReadSettingsFile(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  pw::ScopedHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(f.Get(), &size) && size.QuadPart > 0 && size.QuadPart < (1ll << 30)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  return bytes;
}

bool KeepBadSettingsFile(const std::wstring& path, const std::wstring& copy) {
  // An earlier copy is never replaced: the file itself is not written over.
  return CopyFileW(path.c_str(), copy.c_str(), TRUE) != 0 || GetLastError() == ERROR_FILE_EXISTS;
}

bool SaveSettingsFile(dockrail::IDockPlugin* plugin, const std::wstring& path) {
  pw::ComPtr<IStream> stream;
  *stream.Out() = SHCreateMemStream(nullptr, 0);
  if (!stream || plugin->Save(stream.Get()) != 0) return false;
  STATSTG st = {};
  stream->Stat(&st, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(static_cast<size_t>(st.cbSize.QuadPart));
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  if (!bytes.empty() && (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got)) || got != bytes.size()))
    return false;
  pw::ScopedHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!f) return false;
  DWORD put = 0;
  return WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

}  // namespace dockhost
