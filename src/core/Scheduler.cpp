#include "core/Scheduler.h"

// clang-format off
#include <windows.h>
#include <ras.h>
#include <wininet.h>
// clang-format on
#include <algorithm>
#include <vector>

#include "core/PluginObject.h"

namespace pw {

uint32_t Scheduler::DetectConnection() {
  uint32_t flags = 0;
  DWORD how = 0;
  if (InternetGetConnectedState(&how, 0)) flags |= 2;
  // Room for one connection; only the first one is looked at.
  std::vector<RASCONNW> conns(1);
  conns[0].dwSize = sizeof(RASCONNW);
  DWORD bytes = sizeof(RASCONNW), count = 0;
  if (RasEnumConnectionsW(conns.data(), &bytes, &count) == 0 && count > 0) {
    RASCONNSTATUSW status = {};
    status.dwSize = sizeof(status);
    if (RasGetConnectStatusW(conns[0].hrasconn, &status) == 0 && status.rasconnstate == RASCS_Connected)
      flags |= 1;
  }
  return flags;
}

// Only accounts checked while a connection is up look at the connection
// state, and asking the system for it is slow on some machines.
bool Scheduler::ConnectionNeeded() const {
  SharedGuard g(plugin_.accountsLock_);
  for (const auto& a : plugin_.accounts_) {
    const uint32_t mode = a->settings.Mode();
    if (mode == 1 || mode == 2) return true;
  }
  return false;
}

void Scheduler::RefreshConnection() {
  plugin_.connectionFlags_ = ConnectionNeeded() ? DetectConnection() : 0;
}

void Scheduler::CheckerStarted() {
  lastDetect_ = GetTickCount64();
  saveAskedAt_ = 0;
  painted_ = false;
  startFlags_ = plugin_.buttonFlags_;
  RefreshConnection();
}

namespace {

constexpr ULONGLONG kDetectMs = 550;       // connection state refreshed this often
constexpr ULONGLONG kSaveRepeatMs = 5000;  // a save request unanswered is repeated this late

// Until the clock's next second, when a countdown shown in seconds moves.
DWORD ToNextSecond() {
  SYSTEMTIME t;
  GetSystemTime(&t);
  return 1000u - t.wMilliseconds + 5u;
}

}  // namespace

DWORD Scheduler::CheckerTick(bool force) {
  plugin_.RunAccountWork();
  const ULONGLONG now = GetTickCount64();
  if (now - lastDetect_ >= kDetectMs) {
    lastDetect_ = now;
    RefreshConnection();
  }
  const bool paused = plugin_.settings_.pause != 0;
  const bool showCount = plugin_.settings_.showMsgNum != 0;
  uint32_t flags = 0;
  uint32_t count = 0;
  bool changed = false;
  int32_t nextDue = -1;  // fewest seconds any account waits for its check
  {
    SharedGuard g(plugin_.accountsLock_);
    for (const auto& a : plugin_.accounts_) {
      a->Tick(force);
      if (a->dirty) changed = true;
      const int32_t wait = a->secondsToNext;
      if (wait >= 0 && (nextDue < 0 || wait < nextDue)) nextDue = wait;
      switch (a->GetStatus()) {
        case AccountStatus::NewMail: flags |= 1; break;
        case AccountStatus::Error: flags |= 2; break;
        default: break;
      }
      if (showCount) {
        uint32_t n = 0;
        a->CountNew(&n, nullptr);
        count += n;
      }
    }
  }
  dockrail::IDockHost* host = plugin_.host_;
  // Once per change, and again every few seconds while the host has not
  // saved (Save clears the marks).
  DWORD delay = INFINITE;
  if (!changed) {
    saveAskedAt_ = 0;
  } else if (host) {
    if (saveAskedAt_ == 0 || now - saveAskedAt_ >= kSaveRepeatMs) {
      host->SettingsChanged();
      saveAskedAt_ = now;
    }
    delay = static_cast<DWORD>(kSaveRepeatMs - (now - saveAskedAt_));
  }

  // The strip runs while new mail is shown, unless an icon stands for it.
  const bool shown = (flags & 1) && !paused;
  bool moving = false;
  if (shown && !plugin_.settings_.useIconNotify) {
    uint32_t frames = 1;
    if (host) {
      dockrail::ButtonInfo info = {};
      info.size = sizeof(info);
      host->GetButtonInfo(&info);
      frames = plugin_.Strip((info.flags & 1) != 0).Frames();
    }
    moving = frames > 1;
    uint32_t frame = plugin_.frame_ + 1;
    if (frame >= frames) frame = 0;
    plugin_.frame_ = frame;
  }
  plugin_.buttonFlags_ = flags;
  // Repainted only when the picture changes.
  const Picture picture{flags, paused, moving ? plugin_.frame_.load() : 0u, showCount ? count : 0u};
  // The host drew the button before the first tick: that picture is
  // repainted only when the state differs from the one it was drawn with.
  const bool changedPicture = painted_ ? !(picture == lastPicture_) : (flags != startFlags_ || moving);
  lastPicture_ = picture;
  painted_ = true;
  if (changedPicture && host) host->Repaint(dockrail::kRepaintButton);
  if (moving) return kCheckerTickMs;
  // The countdowns move every second, but only the list window shows them;
  // otherwise the next tick is when the first account is due.
  if (ConnectionNeeded() || (nextDue >= 0 && plugin_.ListWindowExists())) {
    delay = std::min(delay, ToNextSecond());
  } else if (nextDue >= 0) {
    const ULONGLONG due = static_cast<ULONGLONG>(nextDue > 0 ? nextDue - 1 : 0) * 1000 + ToNextSecond();
    delay = std::min<ULONGLONG>(delay, due);
  }
  return delay;
}

void Scheduler::CheckerStopping() {
  SharedGuard g(plugin_.accountsLock_);
  for (const auto& a : plugin_.accounts_) a->CloseSession();
}

}  // namespace pw
