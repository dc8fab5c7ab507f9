// The window classes of the plug-in's own controls.
#pragma once

#include <windows.h>

namespace pw::ui {

// Registers each class against `instance` unless it is registered there
// already with the same procedure.
void RegisterUiClasses(HINSTANCE instance);
void UnregisterUiClasses(HINSTANCE instance);

}  // namespace pw::ui
