#include "account/PasswordSeal.h"

#include <windows.h>
#include <algorithm>
#include <cstring>

#include "base/Blowfish.h"
#include "base/Md5.h"
#include "base/Scoped.h"
#include "base/StrConv.h"

namespace pw {
namespace {

// Every part of the machine key is read into a buffer of this size; a part
// that does not fit is left out.
constexpr DWORD kPartBytes = 2024;

bool ReadRegistryValue(HKEY root, const char* path, const char* name, Md5& md5) {
  ScopedHKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) return false;
  uint8_t buf[kPartBytes];
  DWORD size = sizeof(buf);
  if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, buf, &size) != ERROR_SUCCESS) return false;
  md5.Update(buf, size);
  return true;
}

}  // namespace

SealKey AccountSealKey(const wchar_t* incomingServer, const wchar_t* accountName) {
  std::string server = WideToAnsi(incomingServer);
  std::string name = WideToAnsi(accountName);
  Md5 md5;
  md5.Update(server.data(), server.size());
  md5.Update(name.data(), name.size());
  SealKey key;
  md5.Final(key.bytes);
  return key;
}

SealKey MachineSealKey() {
  Md5 md5;
  char buf[kPartBytes];
  DWORD size = sizeof(buf);
  // GetUserNameA counts the terminator in what it returns.
  if (GetUserNameA(buf, &size)) md5.Update(buf, size);
  size = sizeof(buf);
  if (GetComputerNameA(buf, &size)) md5.Update(buf, size);
  if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "DigitalProductId", md5))
    ReadRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "DigitalProductId", md5);
  ReadRegistryValue(HKEY_CURRENT_USER, "Identities", "Default User ID", md5);
  SealKey key;
  md5.Final(key.bytes);
  return key;
}

std::vector<uint8_t> SealPassword(const wchar_t* password, const SealKey& key) {
  std::string text = WideToAnsi(password);
  size_t length = text.size() + 1;  // with the NUL
  std::vector<uint8_t> out((length + 7) / 8 * 8, 0);
  memcpy(out.data(), text.c_str(), length);
  Blowfish(key.bytes, sizeof(key.bytes)).EncryptEcb(out.data(), out.size(), true);
  return out;
}

void UnsealPassword(const uint8_t* data, size_t size, const SealKey& key, wchar_t* out, size_t capacity) {
  if (!out || capacity == 0) return;
  out[0] = 0;
  size &= ~size_t(7);  // a partial block carries nothing that can be decrypted
  if (!data || size == 0) return;
  std::vector<uint8_t> plain(data, data + size);
  Blowfish(key.bytes, sizeof(key.bytes)).DecryptEcb(plain.data(), plain.size(), true);
  size_t n = 0;
  while (n < plain.size() && n < kMaxPasswordBytes && plain[n] != 0) ++n;
  std::string text(reinterpret_cast<const char*>(plain.data()), n);
  std::wstring wide = AnsiToWide(text.c_str());
  size_t units = std::min(wide.size(), capacity - 1);
  wmemcpy(out, wide.data(), units);
  out[units] = 0;
  SecureZeroMemory(plain.data(), plain.size());
}

}  // namespace pw
