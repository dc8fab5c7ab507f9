// The plug-in's common-controls 6 activation context (manifest resource 2
// of the DLL), active for the lifetime of a scope. Windows, dialogs and
// common dialogs are created inside one so they get the themed controls
// whatever the host process asked for.
#pragma once

#include <windows.h>

namespace pw::ui {

class ActivationScope {
 public:
  ActivationScope();
  ~ActivationScope();
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;
  bool Active() const { return active_; }

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// Releases the context (DLL detach).
void ReleaseActivationContext();

}  // namespace pw::ui
