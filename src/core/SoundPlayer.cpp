#include "core/SoundPlayer.h"

#include <mmsystem.h>
#include <shlwapi.h>

namespace pw {
namespace {

void PlayFile(const wchar_t* file, void*) { PlaySoundW(file, nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT); }

}  // namespace

SoundPlayer::SoundPlayer()
    : queued_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      play_(&PlayFile) {}

SoundPlayer::~SoundPlayer() { Stop(); }

void SoundPlayer::SetPlayer(PlayFn play, void* context) {
  play_ = play ? play : &PlayFile;
  context_ = context;
}

bool SoundPlayer::Start() {
  Stop();
  if (!queued_ || !stop_) return false;
  ScopedLock g(lock_);
  started_ = true;
  // Names queued while no thread ran are played now.
  if (queue_.empty()) return true;
  if (!SpawnLocked()) return false;
  SetEvent(queued_.Get());
  return true;
}

bool SoundPlayer::SpawnLocked() {
  if (thread_) return true;
  thread_.Reset(CreateThread(nullptr, 0, &SoundPlayer::Main, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

void SoundPlayer::Stop() {
  ScopedHandle thread;
  {
    ScopedLock g(lock_);
    started_ = false;
    thread = std::move(thread_);
  }
  if (!thread) return;
  SetEvent(stop_.Get());
  WaitForSingleObject(thread.Get(), INFINITE);
}

bool SoundPlayer::Started() {
  ScopedLock g(lock_);
  return started_;
}

bool SoundPlayer::ThreadRunning() {
  ScopedLock g(lock_);
  return static_cast<bool>(thread_);
}

void SoundPlayer::Queue(const wchar_t* file) {
  if (!file || !*file) return;
  {
    ScopedLock g(lock_);
    for (const std::wstring& q : queue_)
      if (StrCmpIW(q.c_str(), file) == 0) return;
    queue_.emplace_back(file);
    if (started_) SpawnLocked();
  }
  SetEvent(queued_.Get());
}

size_t SoundPlayer::Pending() {
  ScopedLock g(lock_);
  return queue_.size();
}

DWORD WINAPI SoundPlayer::Main(void* param) {
  auto* self = static_cast<SoundPlayer*>(param);
  HANDLE waits[2] = {self->stop_.Get(), self->queued_.Get()};
  for (;;) {
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) break;  // stop, or a wait that failed
    self->PlayQueued();
  }
  return 0;
}

void SoundPlayer::PlayQueued() {
  for (;;) {
    std::wstring file;
    {
      ScopedLock g(lock_);
      if (queue_.empty()) return;
      file = std::move(queue_.front());
      queue_.pop_front();
    }
    // Stop is checked between sounds, so a long queue does not hold up the
    // destructor for more than the sound that is playing.
    if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) {
      SetEvent(stop_.Get());
      ScopedLock g(lock_);
      queue_.push_front(std::move(file));
      return;
    }
    play_(file.c_str(), context_);
  }
}

}  // namespace pw
