#include "base/SharedLock.h"

namespace pw {

SharedLock::BinarySemaphore::BinarySemaphore() {
  InitializeCriticalSection(&cs_);
  InitializeConditionVariable(&freed_);
}

SharedLock::BinarySemaphore::~BinarySemaphore() { DeleteCriticalSection(&cs_); }

void SharedLock::BinarySemaphore::Acquire() {
  EnterCriticalSection(&cs_);
  while (!available_) SleepConditionVariableCS(&freed_, &cs_, INFINITE);
  available_ = false;
  LeaveCriticalSection(&cs_);
}

void SharedLock::BinarySemaphore::Release() {
  EnterCriticalSection(&cs_);
  available_ = true;
  LeaveCriticalSection(&cs_);
  WakeConditionVariable(&freed_);
}

SharedLock::SharedLock() = default;
SharedLock::~SharedLock() = default;

void SharedLock::LockShared() {
  ScopedLock g(readers_);
  // The first reader waits for any writer while holding the section, so the
  // readers behind it queue on the section rather than on the semaphore.
  if (readerCount_ == 0) sem_.Acquire();
  ++readerCount_;
}

void SharedLock::UnlockShared() {
  ScopedLock g(readers_);
  if (--readerCount_ == 0) sem_.Release();
}

void SharedLock::LockExclusive() { sem_.Acquire(); }
void SharedLock::UnlockExclusive() { sem_.Release(); }

}  // namespace pw
