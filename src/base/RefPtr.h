// Owning pointer for the plug-in's reference-counted records (messages and
// accounts): holds one reference, released when it goes.
#pragma once

#include <utility>

namespace pw {

template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  // Adopts a reference the caller already holds (e.g. a fresh record).
  static RefPtr Adopt(T* p) {
    RefPtr r;
    r.p_ = p;
    return r;
  }
  // Takes a reference of its own.
  explicit RefPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  RefPtr(const RefPtr& o) : RefPtr(o.p_) {}
  RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  RefPtr& operator=(RefPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~RefPtr() {
    if (p_) p_->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

}  // namespace pw
