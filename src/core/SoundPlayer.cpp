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
  thread_.Reset(CreateThread(nullptr, 0, &SoundPlayer::Main, this, 0, nullptr));
  if (!thread_) return false;
  // Names queued while no thread ran are played now.
  bool waiting;
  {
    ScopedLock g(lock_);
    waiting = !queue_.empty();
  }
  if (waiting) SetEvent(queued_.Get());
  return true;
}

void SoundPlayer::Stop() {
  if (!thread_) return;
  SetEvent(stop_.Get());
  WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Reset();
}

void SoundPlayer::Queue(const wchar_t* file) {
  if (!file || !*file) return;
  {
    ScopedLock g(lock_);
    for (const std::wstring& q : queue_)
      if (StrCmpIW(q.c_str(), file) == 0) return;
    queue_.emplace_back(file);
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
