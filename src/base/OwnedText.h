// Owned, nullable texts of the message and account records. Null and empty
// are different: a null value is not written to the settings stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>

namespace pw {

// A UTF-16 text or null.
class OwnedWText {
 public:
  OwnedWText() = default;
  explicit OwnedWText(const wchar_t* s) { Set(s); }
  OwnedWText(const OwnedWText& o) { Set(o.Get()); }
  OwnedWText& operator=(const OwnedWText& o) {
    if (this != &o) Set(o.Get());
    return *this;
  }
  OwnedWText(OwnedWText&&) noexcept = default;
  OwnedWText& operator=(OwnedWText&&) noexcept = default;

  void Set(const wchar_t* s) { Set(s, s ? wcslen(s) : 0); }
  void Set(const wchar_t* s, size_t units) {
    if (!s) {
      p_.reset();
      return;
    }
    std::unique_ptr<wchar_t[]> n(new wchar_t[units + 1]);
    wmemcpy(n.get(), s, units);
    n[units] = 0;
    p_ = std::move(n);
  }
  void Reset() { p_.reset(); }
  const wchar_t* Get() const { return p_.get(); }
  // Never null: "" for a null text.
  const wchar_t* Str() const { return p_ ? p_.get() : L""; }
  bool IsSet() const { return p_ != nullptr; }

 private:
  std::unique_ptr<wchar_t[]> p_;
};

// Bytes kept NUL-terminated (the terminator is not counted), or null.
class OwnedBytes {
 public:
  OwnedBytes() = default;
  OwnedBytes(OwnedBytes&&) noexcept = default;
  OwnedBytes& operator=(OwnedBytes&&) noexcept = default;

  void Set(const void* data, size_t size) {
    if (!data) {
      Reset();
      return;
    }
    std::unique_ptr<char[]> n(new char[size + 1]);
    if (size) memcpy(n.get(), data, size);
    n[size] = 0;
    p_ = std::move(n);
    size_ = static_cast<uint32_t>(size);
  }
  void Set(const char* text) { Set(text, text ? strlen(text) : 0); }
  void Reset() {
    p_.reset();
    size_ = 0;
  }
  const char* Get() const { return p_.get(); }
  uint32_t Size() const { return size_; }
  bool IsSet() const { return p_ != nullptr; }

 private:
  std::unique_ptr<char[]> p_;
  uint32_t size_ = 0;
};

}  // namespace pw
