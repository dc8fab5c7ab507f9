// Module-wide state of the DLL: its handle, the module resources come from
// (the DLL or a language module) and the count of live COM objects.
#pragma once

#include <windows.h>
#include <string>

namespace pw {

HMODULE DllModule();
HMODULE ResourceModule();
void SetDllModule(HMODULE module);
// Switches the resource module; a module whose file version is not 1.12
// is ignored and the DLL's own resources are used. The caller registers the
// control classes again against the module chosen.
void UseResourceModule(HMODULE module);

void ObjectCreated();
void ObjectDestroyed();
long ObjectCount();

// A string of the current resource module's string table ("" when missing).
std::wstring LoadStr(UINT id);

}  // namespace pw
