// The window classes of the plug-in's own controls.
#pragma once

namespace pw {

// Registers the classes against the current resource module (dropping an
// earlier registration against another module).
void RegisterControlClasses();

}  // namespace pw
