// Readers-writer lock of the account array and of each account's lists: a
// critical section over a reader count, and a binary semaphore that the
// first reader takes for all readers and a writer takes for itself. Readers
// never block each other; a writer excludes readers and other writers. The
// semaphore may be released by another thread than the one that took it
// (the last reader out releases it). Not reentrant: a thread holding the
// lock in either mode must not take it again. Lock order: the account array
// before an account, an account's message lock before its event lock.
#pragma once

#include <windows.h>

#include "base/Scoped.h"

namespace pw {

class SharedLock {
 public:
  SharedLock();
  ~SharedLock();
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;

  void LockShared();
  void UnlockShared();
  void LockExclusive();
  void UnlockExclusive();

 private:
  // Count 0 or 1. Kept in process: a kernel semaphore turns every
  // uncontended acquire into a system call, and a mailbox listing takes
  // the message lock once per listed message.
  class BinarySemaphore {
   public:
    BinarySemaphore();
    ~BinarySemaphore();
    BinarySemaphore(const BinarySemaphore&) = delete;
    BinarySemaphore& operator=(const BinarySemaphore&) = delete;
    void Acquire();
    void Release();

   private:
    CRITICAL_SECTION cs_;
    CONDITION_VARIABLE freed_;
    bool available_ = true;
  };

  CriticalSection readers_;
  long readerCount_ = 0;
  BinarySemaphore sem_;
};

class SharedGuard {
 public:
  explicit SharedGuard(SharedLock& lock) : lock_(lock) { lock_.LockShared(); }
  ~SharedGuard() { lock_.UnlockShared(); }
  SharedGuard(const SharedGuard&) = delete;
  SharedGuard& operator=(const SharedGuard&) = delete;

 private:
  SharedLock& lock_;
};

class ExclusiveGuard {
 public:
  explicit ExclusiveGuard(SharedLock& lock) : lock_(lock) { lock_.LockExclusive(); }
  ~ExclusiveGuard() { lock_.UnlockExclusive(); }
  ExclusiveGuard(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;

 private:
  SharedLock& lock_;
};

}  // namespace pw
