#include "mime/MimeSave.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "base/Md5.h"
#include "base/Scoped.h"

namespace pw {

bool saveRaw(const char* text, size_t size, const wchar_t* path) {
  if (!text || !path) return false;
  ScopedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const size_t length = strnlen(text, size);
  DWORD written = 0;
  return WriteFile(file.Get(), text, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

std::wstring uniqueSavePath(const std::wstring& folder) {
  std::mt19937 rng(static_cast<uint32_t>(GetTickCount64() ^ GetCurrentThreadId() ^ time(nullptr)));
  std::wstring base = folder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  for (;;) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    unsigned char seed[40 + sizeof(SYSTEMTIME)];
    for (int i = 0; i < 10; ++i) {
      const int32_t r = static_cast<int32_t>(rng());
      memcpy(seed + i * 4, &r, 4);
    }
    memcpy(seed + 40, &now, sizeof(now));
    uint8_t digest[16];
    Md5::Digest(seed, sizeof(seed), digest);
    wchar_t name[64];
    swprintf(name, 64, L"%d-%02d-%02d-%x%x%x%x%x.msg", now.wYear, now.wMonth, now.wDay, digest[0], digest[1],
             digest[2], digest[3], digest[4]);
    const std::wstring path = base + name;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  }
}

}  // namespace pw
