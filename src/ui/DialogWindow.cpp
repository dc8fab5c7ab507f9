#include "ui/DialogWindow.h"

#include "base/Module.h"
#include "ui/ActivationScope.h"

namespace pw::ui {

const DLGTEMPLATE* DialogWindow::FindTemplate(UINT id, HMODULE preferred, HMODULE* from) {
  HMODULE candidates[2] = {preferred, DllModule()};
  for (HMODULE m : candidates) {
    if (!m) continue;
    HRSRC res = FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!res) continue;
    HGLOBAL mem = LoadResource(m, res);
    const void* data = mem ? LockResource(mem) : nullptr;
    if (!data) continue;
    if (from) *from = m;
    return static_cast<const DLGTEMPLATE*>(data);
  }
  return nullptr;
}

INT_PTR DialogWindow::DoModal(HWND parent, HMODULE resources) {
  const DLGTEMPLATE* t = FindTemplate(templateId_, resources, &module_);
  if (!t) return 0;
  ActivationScope scope;
  // Controls are created against the plug-in's own instance, where its
  // window classes live, whichever module the template came from.
  return DialogBoxIndirectParamW(DllModule(), t, parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND DialogWindow::Create(HWND parent, HMODULE resources) {
  const DLGTEMPLATE* t = FindTemplate(templateId_, resources, &module_);
  if (!t) return nullptr;
  OnBeforeCreate(t);
  ActivationScope scope;
  HWND w = CreateDialogIndirectParamW(DllModule(), t, parent, DialogProc, reinterpret_cast<LPARAM>(this));
  if (w) window_ = w;
  return w;
}

bool DialogWindow::FillPage(PROPSHEETPAGEW& page, HMODULE resources, const wchar_t* title) {
  const DLGTEMPLATE* t = FindTemplate(templateId_, resources, &module_);
  if (!t) return false;
  page = {};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DLGINDIRECT | (title ? PSP_USETITLE : 0);
  page.hInstance = DllModule();
  page.pResource = t;
  page.pfnDlgProc = PageProc;
  page.pszTitle = title;
  page.lParam = reinterpret_cast<LPARAM>(this);
  return true;
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
  }
  if (!self) return FALSE;
  return self->Dispatch(message, wParam, lParam, false);
}

INT_PTR CALLBACK DialogWindow::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
    self = reinterpret_cast<DialogWindow*>(page->lParam);
    SetWindowLongPtrW(window, DWLP_USER, page->lParam);
    self->window_ = window;
  }
  if (!self) return FALSE;
  return self->Dispatch(message, wParam, lParam, true);
}

INT_PTR DialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool page) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_PAINT:
      OnPaint();
      return FALSE;  // the dialog manager still validates the window
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      LRESULT r;
      if (page && header->code == PSN_APPLY)
        r = OnOK() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      else
        r = OnNotify(static_cast<int>(header->idFrom), header);
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, r);
      return TRUE;
    }
    case WM_COMMAND:
      if (!page && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) &&
          (GetWindowLongW(window_, GWL_STYLE) & WS_CHILD)) {
        // A page inside another dialog: OK and Cancel belong to its frame.
        PostMessageW(GetParent(window_), WM_COMMAND, wParam, 0);
      } else if (!page && LOWORD(wParam) == IDOK) {
        if (OnOK()) EndDialog(window_, 1);
      } else if (!page && LOWORD(wParam) == IDCANCEL) {
        if (OnCancel()) EndDialog(window_, 2);
      } else {
        OnCommand(wParam);
      }
      return TRUE;
    case WM_NCDESTROY: {
      bool handled = false;
      OnMessage(message, wParam, lParam, handled);
      window_ = nullptr;
      return FALSE;
    }
    default: {
      bool handled = false;
      LRESULT r = OnMessage(message, wParam, lParam, handled);
      if (!handled) return FALSE;
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, r);
      return TRUE;
    }
  }
}

}  // namespace pw::ui
