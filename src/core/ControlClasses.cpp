#include "core/ControlClasses.h"

#include <windows.h>

#include "base/Module.h"
#include "ui/UiClasses.h"

namespace pw {

void RegisterControlClasses() {
  // The built controls live in the DLL's own instance, where every dialog
  // of the plug-in is created whichever module its template came from.
  ui::RegisterUiClasses(DllModule());
}

void UnregisterControlClasses() {
  ui::UnregisterUiClasses(DllModule());
}

}  // namespace pw
