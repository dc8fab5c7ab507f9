// Base of every dialog of the plug-in: modal dialogs, modeless dialogs and
// property-sheet pages all receive their messages through it. Templates are
// looked up first in the given resource module (a language module), then
// in the plug-in's own.
#pragma once

#include <windows.h>
#include <prsht.h>

namespace pw::ui {

class DialogWindow {
 public:
  explicit DialogWindow(UINT templateId) : templateId_(templateId) {}
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  virtual ~DialogWindow() = default;

  // Returns the result only when `handled` is set.
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) { return 0; }
  virtual LRESULT OnNotify(int controlId, NMHDR* header) { return 0; }
  virtual void OnPaint() {}
  virtual void OnCommand(WPARAM wParam) {}
  // True accepts: a modal dialog ends, a page lets the sheet close.
  virtual bool OnOK() { return true; }
  // True lets Cancel (or Escape) end a dialog.
  virtual bool OnCancel() { return true; }
  virtual void OnInitDialog() {}
  virtual void OnBeforeCreate(const DLGTEMPLATE* dialogTemplate) {}

  // The end code, 0 when the template is missing.
  INT_PTR DoModal(HWND parent, HMODULE resources);
  // Modeless; the window handle, null when the template is missing.
  HWND Create(HWND parent, HMODULE resources);
  // A page for PropertySheetW, built from the template found as above.
  bool FillPage(PROPSHEETPAGEW& page, HMODULE resources, const wchar_t* title);

  HWND Window() const { return window_; }
  UINT TemplateId() const { return templateId_; }
  HMODULE TemplateModule() const { return module_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  bool Checked(int id) const { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
  void Check(int id, bool on) const { CheckDlgButton(window_, id, on ? BST_CHECKED : BST_UNCHECKED); }
  void Enable(int id, bool on) const { EnableWindow(Item(id), on); }
  // Reads a check box into `field` (1 or 0) when the template has it.
  template <typename T>
  void ReadCheck(int id, T& field) const {
    if (Item(id)) field = Checked(id) ? 1 : 0;
  }

  // Finds template `id` in `preferred`, else in the plug-in's own module.
  static const DLGTEMPLATE* FindTemplate(UINT id, HMODULE preferred, HMODULE* from);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool page);

  UINT templateId_;
  HWND window_ = nullptr;
  HMODULE module_ = nullptr;
};

}  // namespace pw::ui
