// The per-thread table that maps a notification's message id to its socket.
#pragma once

#include <vector>

namespace pw {

class CAsyncSocketEx;

class SocketTable {
 public:
  // Socket messages run from WM_USER+2 to 0xBFFF, just below the registered
  // message range: that caps the table.
  static constexpr int kInitialSize = 512;
  static constexpr int kGrowth = 512;
  static constexpr int kMaxSize = 48126;

  SocketTable() : entries_(kInitialSize, nullptr) {}

  // Round-robin search from the hint, so that a freed slot is not reused at
  // once and late notifications for it meet an empty entry. -1 when full.
  int Add(CAsyncSocketEx* socket);
  void Remove(int slot);
  CAsyncSocketEx* At(int slot) const {
    return slot >= 0 && slot < Size() ? entries_[slot] : nullptr;
  }
  int Size() const { return static_cast<int>(entries_.size()); }
  int Count() const { return count_; }

 private:
  std::vector<CAsyncSocketEx*> entries_;
  int hint_ = 0;
  int count_ = 0;
};

}  // namespace pw
