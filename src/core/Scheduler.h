// The checker thread's work for the Plug-in object: every tick it refreshes
// the connection state now and then, lets each account start a check that
// is due, keeps the button state and the animation frame, and tells the
// host when to save and when to repaint.
#pragma once

#include <cstdint>

#include "core/CheckerThread.h"

namespace pw {

class PluginObject;

class Scheduler final : public CheckerClient {
 public:
  explicit Scheduler(PluginObject& plugin) : plugin_(plugin) {}

  void CheckerStarted() override;
  void CheckerTick(bool force) override;
  void CheckerStopping() override;

  // Bit 0: a dial-up connection is up; bit 1: the system reports an
  // Internet connection.
  static uint32_t DetectConnection();

 private:
  bool ConnectionNeeded() const;
  void RefreshConnection();

  PluginObject& plugin_;
  unsigned detectTicks_ = 0;
};

}  // namespace pw
