// A growable array of characters (or other plain values) whose growth leaves
// the new elements unwritten. Decoders size their output for the worst case,
// write it and trim it; std::basic_string would first fill every grown
// element with zeros, a library call per piece of text.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

namespace pw {

template <typename T>
class GrowBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied as bytes");

 public:
  GrowBuffer() = default;
  GrowBuffer(const GrowBuffer& other) { append(other.data(), other.size()); }
  GrowBuffer& operator=(const GrowBuffer& other) {
    if (this != &other) {
      size_ = 0;
      append(other.data(), other.size());
    }
    return *this;
  }
  GrowBuffer(GrowBuffer&& other) noexcept
      : data_(std::move(other.data_)), size_(other.size_), capacity_(other.capacity_) {
    other.size_ = other.capacity_ = 0;
  }
  GrowBuffer& operator=(GrowBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.size_ = other.capacity_ = 0;
    return *this;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  std::basic_string_view<T> view() const { return {data_.get(), size_}; }

  void clear() { size_ = 0; }
  void reserve(size_t n) {
    if (n > capacity_) Reallocate(n);
  }
  // Shrinks, or grows leaving the new elements unwritten.
  void resize(size_t n) {
    if (n > capacity_) Reallocate(n > 2 * capacity_ ? n : 2 * capacity_);
    size_ = n;
  }
  void push_back(T c) {
    if (size_ == capacity_) Reallocate(capacity_ < 8 ? 16 : 2 * capacity_);
    data_[size_++] = c;
  }
  void append(const T* p, size_t n) {
    const size_t at = size_;
    resize(at + n);
    if (n) memcpy(data_.get() + at, p, n * sizeof(T));
  }
  void assign(const T* from, const T* to) {
    size_ = 0;
    append(from, static_cast<size_t>(to - from));
  }
  GrowBuffer& operator+=(std::basic_string_view<T> text) {
    append(text.data(), text.size());
    return *this;
  }
  GrowBuffer& operator+=(const GrowBuffer& other) {
    append(other.data(), other.size());
    return *this;
  }

 private:
  void Reallocate(size_t capacity) {
    std::unique_ptr<T[]> fresh(new T[capacity]);  // default-initialised: not written
    if (size_) memcpy(fresh.get(), data_.get(), size_ * sizeof(T));
    data_ = std::move(fresh);
    capacity_ = capacity;
  }

  std::unique_ptr<T[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

using WideBuffer = GrowBuffer<wchar_t>;
using ByteBuffer = GrowBuffer<char>;

}  // namespace pw
