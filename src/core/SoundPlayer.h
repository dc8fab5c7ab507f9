// The sound player: plays queued sound files one at a time on a thread of
// its own, so the checker thread never waits for audio. A name already
// waiting in the queue (compared without regard to case) is not queued
// again. Once started, the player's thread is created with the first sound
// it has to play, so a plug-in that never plays one never runs it.
#pragma once

#include <windows.h>
#include <deque>
#include <string>

#include "base/Scoped.h"

namespace pw {

class SoundPlayer {
 public:
  // Plays one file to its end. The default is PlaySound, synchronous.
  using PlayFn = void (*)(const wchar_t* file, void* context);

  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Lets the player play; a running thread is stopped first. Names queued
  // while it was stopped are played now.
  bool Start();
  // Signals the stop event and waits for the thread without limit; later
  // names wait in the queue until the next Start.
  void Stop();
  bool Started();
  bool ThreadRunning();
  // Queues a copy of the name; empty names are ignored.
  void Queue(const wchar_t* file);
  size_t Pending();
  // For tests: replaces the function that plays a file. Call while stopped.
  void SetPlayer(PlayFn play, void* context);

 private:
  static DWORD WINAPI Main(void* self);
  void PlayQueued();
  // With lock_ held.
  bool SpawnLocked();

  CriticalSection lock_;
  std::deque<std::wstring> queue_;
  bool started_ = false;
  ScopedHandle queued_;  // auto-reset
  ScopedHandle stop_;    // auto-reset
  ScopedHandle thread_;
  PlayFn play_;
  void* context_ = nullptr;
};

}  // namespace pw
