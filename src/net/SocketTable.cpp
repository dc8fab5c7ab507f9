#include "net/SocketTable.h"

#include <algorithm>

namespace pw {

int SocketTable::Add(CAsyncSocketEx* socket) {
  if (count_ >= Size() - 10 && Size() < kMaxSize)
    entries_.resize(std::min(Size() + kGrowth, kMaxSize), nullptr);
  const int size = Size();
  for (int i = 0; i < size; ++i) {
    const int slot = (hint_ + i) % size;
    if (!entries_[slot]) {
      entries_[slot] = socket;
      hint_ = (slot + 1) % size;
      ++count_;
      return slot;
    }
  }
  return -1;
}

void SocketTable::Remove(int slot) {
  if (slot < 0 || slot >= Size() || !entries_[slot]) return;
  entries_[slot] = nullptr;
  --count_;
}

}  // namespace pw
