// The sound-player thread: plays queued sound files one at a time, so the
// checker thread never waits for audio. A name already waiting in the queue
// (compared without regard to case) is not queued again.
#pragma once

#include <windows.h>
#include <deque>
#include <string>

#include "core/Scoped.h"

namespace pw {

class SoundPlayer {
 public:
  // Plays one file to its end. The default is PlaySound, synchronous.
  using PlayFn = void (*)(const wchar_t* file, void* context);

  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Starts the thread; a running one is stopped first.
  bool Start();
  // Signals the stop event and waits for the thread without limit.
  void Stop();
  bool Running() const { return static_cast<bool>(thread_); }
  // Queues a copy of the name; empty names are ignored. Without a running
  // thread the name waits until one starts.
  void Queue(const wchar_t* file);
  size_t Pending();
  // For tests: replaces the function that plays a file. Call while stopped.
  void SetPlayer(PlayFn play, void* context);

 private:
  static DWORD WINAPI Main(void* self);
  void PlayQueued();

  CriticalSection lock_;
  std::deque<std::wstring> queue_;
  ScopedHandle queued_;  // auto-reset
  ScopedHandle stop_;    // auto-reset
  ScopedHandle thread_;
  PlayFn play_;
  void* context_ = nullptr;
};

}  // namespace pw
