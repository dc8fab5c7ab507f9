// A growable array of characters (or other plain values) whose growth leaves
// the new elements unwritten. Decoders size their output for the worst case,
// write it and trim it; std::basic_string would first fill every grown
// element with zeros, a library call per piece of text. With `Inline` > 0
// the first elements live in the object itself (scratch buffers that are
// nearly always small then cost no allocation); such a buffer is not
// copied or moved.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

namespace pw {

template <typename T, size_t Inline = 0>
class GrowBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied as bytes");

 public:
  GrowBuffer() = default;
  GrowBuffer(const GrowBuffer& other) requires(Inline == 0) { append(other.data(), other.size()); }
  GrowBuffer& operator=(const GrowBuffer& other) requires(Inline == 0) {
    if (this != &other) {
      size_ = 0;
      append(other.data(), other.size());
    }
    return *this;
  }
  GrowBuffer(GrowBuffer&& other) noexcept requires(Inline == 0)
      : heap_(std::move(other.heap_)), data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  GrowBuffer& operator=(GrowBuffer&& other) noexcept requires(Inline == 0) {
    heap_ = std::move(other.heap_);
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
    return *this;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  const T* data() const { return data_; }
  std::basic_string_view<T> view() const { return {data_, size_}; }

  void clear() { size_ = 0; }
  // Uses `storage` (of `capacity` elements, owned by the caller and kept as
  // long as this buffer or one moved from it) until it is outgrown; for an
  // owner that allocates several buffers as one block. Only while empty.
  void Borrow(T* storage, size_t capacity) requires(Inline == 0) {
    heap_.reset();
    data_ = storage;
    capacity_ = capacity;
  }
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
    T* to = data_ + at;
    // Most pieces are a few characters: the C library's copy is a call
    // into another module.
    if (n <= 16) {
      for (size_t i = 0; i < n; ++i) to[i] = p[i];
    } else {
      memcpy(to, p, n * sizeof(T));
    }
  }
  void assign(const T* from, const T* to) {
    size_ = 0;
    append(from, static_cast<size_t>(to - from));
  }
  GrowBuffer& operator+=(std::basic_string_view<T> text) {
    append(text.data(), text.size());
    return *this;
  }
  template <size_t N>
  GrowBuffer& operator+=(const GrowBuffer<T, N>& other) {
    append(other.data(), other.size());
    return *this;
  }

 private:
  void Reallocate(size_t capacity) {
    std::unique_ptr<T[]> fresh(new T[capacity]);  // default-initialised: not written
    if (size_) memcpy(fresh.get(), data_, size_ * sizeof(T));
    heap_ = std::move(fresh);
    data_ = heap_.get();
    capacity_ = capacity;
  }

  struct NoInline {
    T* data() { return nullptr; }
  };
  struct Local {
    T units[Inline ? Inline : 1];
    T* data() { return units; }
  };
  [[no_unique_address]] std::conditional_t<Inline == 0, NoInline, Local> local_;
  std::unique_ptr<T[]> heap_;
  T* data_ = local_.data();
  size_t size_ = 0;
  size_t capacity_ = Inline;
};

using WideBuffer = GrowBuffer<wchar_t>;
using ByteBuffer = GrowBuffer<char>;

}  // namespace pw
