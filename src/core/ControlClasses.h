// The window classes of the plug-in's own controls.
#pragma once

namespace pw {

// Registers the classes against the current resource module (dropping an
// earlier registration against another module).
void RegisterControlClasses();
// DLL detach: a later load at another address must not find stale classes.
void UnregisterControlClasses();

}  // namespace pw
