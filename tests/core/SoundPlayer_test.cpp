#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Scoped.h"
#include "core/SoundPlayer.h"

using pw::SoundPlayer;

namespace {

// Records what plays; the first sound waits for the test's go-ahead so
// that names can be queued while it plays.
struct Recorder {
  pw::CriticalSection lock;
  std::vector<std::wstring> played;
  pw::ScopedHandle started{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  pw::ScopedHandle go{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  static void Play(const wchar_t* file, void* self) {
    auto* r = static_cast<Recorder*>(self);
    SetEvent(r->started.Get());
    WaitForSingleObject(r->go.Get(), 10000);
    pw::ScopedLock g(r->lock);
    r->played.emplace_back(file);
  }
  size_t Count() {
    pw::ScopedLock g(lock);
    return played.size();
  }
};

bool WaitFor(Recorder& r, size_t n) {
  for (int i = 0; i < 500 && r.Count() < n; ++i) Sleep(10);
  return r.Count() == n;
}

}  // namespace

TEST(SoundPlayer, PlaysInOrderOneAtATimeAndOnceWhileQueued) {
  Recorder r;
  SoundPlayer player;
  player.SetPlayer(&Recorder::Play, &r);
  // Queued before the thread runs: kept, and a repeat (any case) dropped.
  player.Queue(L"first.wav");
  player.Queue(L"FIRST.WAV");
  player.Queue(L"");
  player.Queue(nullptr);
  EXPECT_EQ(player.Pending(), 1u);
  ASSERT_TRUE(player.Start());
  ASSERT_EQ(WaitForSingleObject(r.started.Get(), 5000), WAIT_OBJECT_0);
  // While first.wav plays, it is no longer queued: it may queue again.
  player.Queue(L"second.wav");
  player.Queue(L"first.wav");
  player.Queue(L"Second.wav");
  EXPECT_EQ(player.Pending(), 2u);
  SetEvent(r.go.Get());
  ASSERT_TRUE(WaitFor(r, 3));
  EXPECT_EQ(r.played, std::vector<std::wstring>({L"first.wav", L"second.wav", L"first.wav"}));
  player.Stop();
  EXPECT_FALSE(player.ThreadRunning());
}

TEST(SoundPlayer, RestartAndStopWithAQueue) {
  Recorder r;
  SetEvent(r.go.Get());
  SoundPlayer player;
  player.SetPlayer(&Recorder::Play, &r);
  ASSERT_TRUE(player.Start());
  EXPECT_FALSE(player.ThreadRunning());  // nothing to play yet
  ASSERT_TRUE(player.Start());  // restarts
  player.Queue(L"a.wav");
  EXPECT_TRUE(player.ThreadRunning());
  ASSERT_TRUE(WaitFor(r, 1));
  player.Stop();
  player.Queue(L"b.wav");  // waits for a thread
  Sleep(50);
  EXPECT_EQ(r.Count(), 1u);
  ASSERT_TRUE(player.Start());
  ASSERT_TRUE(WaitFor(r, 2));
  // The destructor stops a running player.
}
