#include "core/Scheduler.h"

// clang-format off
#include <windows.h>
#include <ras.h>
#include <wininet.h>
// clang-format on
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

void Scheduler::CheckerStarted() { RefreshConnection(); }

void Scheduler::CheckerTick(bool force) {
  if (++detectTicks_ > 10) {
    detectTicks_ = 0;
    RefreshConnection();
  }
  uint32_t flags = 0;
  bool changed = false;
  {
    SharedGuard g(plugin_.accountsLock_);
    for (const auto& a : plugin_.accounts_) {
      a->Tick(force);
      if (a->dirty) changed = true;
      switch (a->GetStatus()) {
        case AccountStatus::NewMail: flags |= 1; break;
        case AccountStatus::Error: flags |= 2; break;
        default: break;
      }
    }
  }
  dockrail::IDockHost* host = plugin_.host_;
  // Asked every tick until Save clears the marks.
  if (changed && host) host->SettingsChanged();

  const bool paused = plugin_.settings_.pause != 0;
  const bool animate = (plugin_.buttonFlags_ & 1) && !paused;
  if (animate) {
    uint32_t frame = plugin_.frame_ + 1;
    if (host) {
      dockrail::ButtonInfo info = {};
      info.size = sizeof(info);
      host->GetButtonInfo(&info);
      if (frame >= plugin_.Strip((info.flags & 1) != 0).Frames()) frame = 0;
    } else {
      frame = 0;
    }
    plugin_.frame_ = frame;
  }
  // Repainted every tick while new mail is shown, which runs the animation.
  if (flags != plugin_.buttonFlags_ || animate) {
    plugin_.buttonFlags_ = flags;
    if (host) host->Repaint(dockrail::kRepaintButton);
  }
}

void Scheduler::CheckerStopping() {
  SharedGuard g(plugin_.accountsLock_);
  for (const auto& a : plugin_.accounts_) a->CloseSession();
}

}  // namespace pw
