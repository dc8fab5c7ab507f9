// Sealing of stored account passwords: Blowfish in ECB mode under a 16-byte
// key, over the ANSI text with its terminating NUL padded with zeros to
// whole blocks, each block's halves little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pw {

struct SealKey {
  uint8_t bytes[16];
};

// Longest password text that unsealing gives back, in ANSI bytes.
inline constexpr size_t kMaxPasswordBytes = 49;

// MD5 of the incoming server name then the account name, both in the ANSI
// code page without terminators.
SealKey AccountSealKey(const wchar_t* incomingServer, const wchar_t* accountName);

// MD5 of what identifies this user on this machine, each part only when it
// can be read: the user name (with its terminator), the computer name, the
// Windows product id and the default mail identity.
SealKey MachineSealKey();

std::vector<uint8_t> SealPassword(const wchar_t* password, const SealKey& key);

// Decrypts whole blocks and copies at most 49 bytes, stopping at the first
// NUL, into `out` (capacity in UTF-16 units, terminator included). Missing
// or empty data gives an empty password; data sealed under another key
// gives an unreadable one, never a failure.
void UnsealPassword(const uint8_t* data, size_t size, const SealKey& key, wchar_t* out, size_t capacity);

}  // namespace pw
