#include <gtest/gtest.h>

#include <atomic>

#include "base/Scoped.h"
#include "base/SharedLock.h"

using namespace pw;

namespace {

struct State {
  SharedLock lock;
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<int> maxReaders{0};
  std::atomic<bool> violated{false};
  std::atomic<bool> stop{false};
};

DWORD WINAPI Reader(void* p) {
  auto* s = static_cast<State*>(p);
  while (!s->stop) {
    SharedGuard g(s->lock);
    int r = ++s->readers;
    if (s->writers != 0) s->violated = true;
    int m = s->maxReaders;
    while (r > m && !s->maxReaders.compare_exchange_weak(m, r)) {}
    Sleep(0);
    --s->readers;
  }
  return 0;
}

DWORD WINAPI Writer(void* p) {
  auto* s = static_cast<State*>(p);
  while (!s->stop) {
    {
      ExclusiveGuard g(s->lock);
      if (++s->writers != 1 || s->readers != 0) s->violated = true;
      Sleep(0);
      --s->writers;
    }
    Sleep(1);
  }
  return 0;
}

}  // namespace

// Writers exclude everyone; readers overlap; the last reader out (on
// whatever thread) lets a writer in.
TEST(SharedLock, WritersExcludeReadersShare) {
  State s;
  ScopedHandle threads[6];
  HANDLE raw[6];
  for (int i = 0; i < 6; ++i) {
    threads[i].Reset(CreateThread(nullptr, 0, i < 4 ? &Reader : &Writer, &s, 0, nullptr));
    raw[i] = threads[i].Get();
  }
  Sleep(400);
  s.stop = true;
  ASSERT_EQ(WaitForMultipleObjects(6, raw, TRUE, 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(s.violated);
  EXPECT_GT(s.maxReaders, 1);
  // Released from another thread than the one that took it.
  s.lock.LockShared();
  ScopedHandle t(CreateThread(nullptr, 0, [](void* p) -> DWORD {
    static_cast<SharedLock*>(p)->UnlockShared();
    return 0;
  }, &s.lock, 0, nullptr));
  WaitForSingleObject(t.Get(), 5000);
  ExclusiveGuard g(s.lock);
}
