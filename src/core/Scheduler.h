// The checker thread's work for the Plug-in object: every tick it refreshes
// the connection state now and then, lets each account start a check that
// is due, keeps the button state and the animation frame, and tells the
// host when to save and when to repaint.
#pragma once

#include <windows.h>
#include <cstdint>

#include "core/CheckerThread.h"

namespace pw {

class PluginObject;

class Scheduler final : public CheckerClient {
 public:
  explicit Scheduler(PluginObject& plugin) : plugin_(plugin) {}

  void CheckerStarted() override;
  DWORD CheckerTick(bool force) override;
  void CheckerStopping() override;

  // Bit 0: a dial-up connection is up; bit 1: the system reports an
  // Internet connection.
  static uint32_t DetectConnection();

 private:
  bool ConnectionNeeded() const;
  void RefreshConnection();

  // What the button shows; it is repainted only when this changes.
  struct Picture {
    uint32_t flags = 0;
    bool paused = false;
    uint32_t frame = 0;
    uint32_t count = 0;
    bool operator==(const Picture&) const = default;
  };

  PluginObject& plugin_;
  ULONGLONG lastDetect_ = 0;
  ULONGLONG saveAskedAt_ = 0;  // 0: not asked since the marks were last clear
  bool painted_ = false;       // lastPicture_ has been shown
  uint32_t startFlags_ = 0;    // the button state when the thread started
  Picture lastPicture_;
};

}  // namespace pw
