#include <vector>

#include "image/Picture.h"

namespace pw::image {
namespace {

// Larger files are refused before they are read.
constexpr uint64_t kMaxFileBytes = 256u * 1024u * 1024u;

bool ReadWholeFile(const wchar_t* path, std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) <= kMaxFileBytes) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
  }
  CloseHandle(file);
  return ok;
}

bool ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type, const uint8_t*& data, size_t& size) {
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return false;
  HGLOBAL res = LoadResource(module, info);
  if (!res) return false;
  data = static_cast<const uint8_t*>(LockResource(res));
  size = SizeofResource(module, info);
  return data && size;
}

}  // namespace

bool LoadFile(const wchar_t* path, Format format, Picture& out) {
  if (!path || !*path) return false;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  return format == Format::Png ? DecodePng(bytes.data(), bytes.size(), out)
                               : DecodeBmp(bytes.data(), bytes.size(), out);
}

bool LoadPngResource(HMODULE module, const wchar_t* name, Picture& out) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  return ResourceBytes(module, name, L"PNG", data, size) && DecodePng(data, size, out);
}

bool LoadBitmapResource(HMODULE module, const wchar_t* name, Picture& out) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  return ResourceBytes(module, name, RT_BITMAP, data, size) && DecodeDib(data, size, out);
}

}  // namespace pw::image
