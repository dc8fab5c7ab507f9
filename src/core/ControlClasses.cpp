#include "core/ControlClasses.h"

#include <windows.h>

#include "base/Module.h"

namespace pw {
namespace {

// Window classes of the plug-in's own controls. Their window procedures come
// with the controls; until a control exists its class answers with the
// default procedure, so the names are taken and the classes can be found.
const wchar_t* const kControlClasses[] = {
    L"DKR_MSG_VIEW_CONTROL", L"DKR_MSG_VIEW_HEADER", L"DKR_MSG_VIEW_ATTACHMENT",
    L"OrvaleColorPickerClass", L"OrvaleColorButtonClass", L"dkrTABSWITCHER_CLASS",
    L"DKR_TABLABEL_CLASS", L"DKRWEBLINK", L"DKRHOTKEY_CLASS", L"OrvaleSimpleList",
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
}

}  // namespace pw
