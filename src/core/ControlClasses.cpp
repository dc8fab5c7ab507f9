#include "core/ControlClasses.h"

#include <windows.h>

#include "base/Module.h"
#include "ui/UiClasses.h"

namespace pw {
namespace {

// Window classes of controls that are not built yet: until they exist their
// classes answer with the default procedure, so the names are taken and
// the classes can be found.
const wchar_t* const kControlClasses[] = {
    L"DKR_MSG_VIEW_CONTROL", L"DKR_MSG_VIEW_HEADER", L"DKR_MSG_VIEW_ATTACHMENT",
};

}  // namespace

void RegisterControlClasses() {
  HINSTANCE inst = ResourceModule();
  for (const wchar_t* name : kControlClasses) {
    WNDCLASSEXW wc = {sizeof(wc)};
    // Registering again against another module: drop the old registration.
    UnregisterClassW(name, DllModule());
    if (inst != DllModule()) UnregisterClassW(name, inst);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    wc.style = CS_DBLCLKS;
    RegisterClassExW(&wc);
  }
  // The built controls live in the DLL's own instance, where every dialog
  // of the plug-in is created whichever module its template came from.
  ui::RegisterUiClasses(DllModule());
}

void UnregisterControlClasses() {
  ui::UnregisterUiClasses(DllModule());
  for (const wchar_t* name : kControlClasses) {
    UnregisterClassW(name, DllModule());
    if (ResourceModule() != DllModule()) UnregisterClassW(name, ResourceModule());
  }
}

}  // namespace pw
