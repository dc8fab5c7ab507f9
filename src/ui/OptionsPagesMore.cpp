// The sheet's "Filters", "Notify" and "About" pages.
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

#include "base/Module.h"
#include "ui/DialogText.h"
#include "ui/IconPicker.h"
#include "ui/OptionsSheet.h"
#include "ui/Pickers.h"
#include "ui/PictureBitmap.h"
#include "ui/VersionText.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

class FiltersPage final : public OptionsPageBase {
 public:
  explicit FiltersPage(OptionsData& d) : OptionsPageBase(IDD_PAGE_FILTERS, d) {}

  void OnInitDialog() override {
    HWND w = Window();
    Check(IDC_FLT_USE, D().useFilter != 0);
    const int32_t f = D().filterLogFlags;
    Check(IDC_FLT_LOG, f & 1);
    Check(IDC_FLT_HEADER, f & 2);
    Check(IDC_FLT_SUBJECT, f & 4);
    Check(IDC_FLT_FROM, f & 8);
    Check(IDC_FLT_TO, f & 16);
    SetFieldText(w, IDC_FLT_LOGFILE, D().filtersLogFile);
    UpdateEnabling();
  }

  void OnCommand(WPARAM wParam) override {
    if (HIWORD(wParam) != BN_CLICKED) return;
    switch (LOWORD(wParam)) {
      case IDC_FLT_USE: case IDC_FLT_LOG: case IDC_FLT_HEADER:
        UpdateEnabling();
        break;
      case IDC_FLT_EDIT:
        if (D().editRules) D().editRules(Window());
        break;
      case IDC_FLT_BROWSE: {
        std::wstring path;
        if (PickFile(Window(), L"Select file", L"All files\0*.*\0", path))
          SetDlgItemTextW(Window(), IDC_FLT_LOGFILE, path.c_str());
        break;
      }
    }
  }

  bool OnOK() override {
    D().useFilter = Checked(IDC_FLT_USE);
    int32_t f = D().filterLogFlags & ~0x1F;
    if (Checked(IDC_FLT_LOG)) f |= 1;
    if (Checked(IDC_FLT_HEADER)) f |= 2;
    if (Checked(IDC_FLT_SUBJECT)) f |= 4;
    if (Checked(IDC_FLT_FROM)) f |= 8;
    if (Checked(IDC_FLT_TO)) f |= 16;
    D().filterLogFlags = f;
    GetFieldText(Window(), IDC_FLT_LOGFILE, D().filtersLogFile);
    return true;
  }

 private:
  void UpdateEnabling() {
    const bool log = Checked(IDC_FLT_LOG), header = Checked(IDC_FLT_HEADER);
    for (int id : {IDC_FLT_LOGFILE, IDC_FLT_LOGFILE_LABEL, IDC_FLT_BROWSE, IDC_FLT_HEADER}) Enable(id, log);
    for (int id : {IDC_FLT_FROM, IDC_FLT_TO, IDC_FLT_SUBJECT}) Enable(id, log && !header);
    Enable(IDC_FLT_EDIT, Checked(IDC_FLT_USE) && D().editRules != nullptr);
  }
};

class NotifyPage final : public OptionsPageBase {
 public:
  explicit NotifyPage(OptionsData& d) : OptionsPageBase(IDD_PAGE_NOTIFY, d) {}

  void OnInitDialog() override {
    HWND w = Window();
    CheckRadioButton(w, IDC_NTF_ICON, IDC_NTF_ANIM, D().useIconNotify ? IDC_NTF_ICON : IDC_NTF_ANIM);
    SetFieldText(w, IDC_NTF_SMALL, D().smallAnim);
    SetFieldText(w, IDC_NTF_LARGE, D().largeAnim);
    SetFieldText(w, IDC_NTF_ICONFILE, D().notifyIcon);
    Check(IDC_NTF_SHOWNUM, D().showMsgNum != 0);
    Check(IDC_NTF_NOSOUND, D().useNoSound != 0);
    SetTime(IDC_NTF_TIME1, D().noSoundTime1);
    SetTime(IDC_NTF_TIME2, D().noSoundTime2);
    UpdateEnabling();
  }

  void OnCommand(WPARAM wParam) override {
    if (HIWORD(wParam) != BN_CLICKED) return;
    std::wstring path;
    const wchar_t* animFilter = L"Supported formats (*.bmp, *.png)\0*.bmp;*.png\0";
    switch (LOWORD(wParam)) {
      case IDC_NTF_ICON: case IDC_NTF_ANIM: case IDC_NTF_NOSOUND:
        UpdateEnabling();
        break;
      case IDC_NTF_SMALL_BROWSE:
        if (PickFile(Window(), L"Select animation bitmap", animFilter, path))
          SetDlgItemTextW(Window(), IDC_NTF_SMALL, path.c_str());
        break;
      case IDC_NTF_LARGE_BROWSE:
        if (PickFile(Window(), L"Select animation bitmap", animFilter, path))
          SetDlgItemTextW(Window(), IDC_NTF_LARGE, path.c_str());
        break;
      case IDC_NTF_ICON_BROWSE: {
        IconPicker picker(ItemText(Window(), IDC_NTF_ICONFILE));
        if (picker.DoModal(Window(), ResourceModule()) == 1)
          SetDlgItemTextW(Window(), IDC_NTF_ICONFILE, picker.Location().c_str());
        break;
      }
    }
  }

  bool OnOK() override {
    HWND w = Window();
    D().useIconNotify = Checked(IDC_NTF_ICON);
    GetFieldText(w, IDC_NTF_SMALL, D().smallAnim);
    GetFieldText(w, IDC_NTF_LARGE, D().largeAnim);
    GetFieldText(w, IDC_NTF_ICONFILE, D().notifyIcon);
    D().showMsgNum = Checked(IDC_NTF_SHOWNUM);
    D().useNoSound = Checked(IDC_NTF_NOSOUND);
    D().noSoundTime1 = GetTime(IDC_NTF_TIME1);
    D().noSoundTime2 = GetTime(IDC_NTF_TIME2);
    return true;
  }

 private:
  void SetTime(int id, int32_t t) {
    if (t < 0 || t >= 86400) t = 0;
    SYSTEMTIME st;
    GetLocalTime(&st);
    st.wHour = static_cast<WORD>(t / 3600);
    st.wMinute = static_cast<WORD>((t % 3600) / 60);
    st.wSecond = static_cast<WORD>(t % 60);
    st.wMilliseconds = 0;
    SendDlgItemMessageW(Window(), id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  }
  int32_t GetTime(int id) {
    SYSTEMTIME st = {};
    if (SendDlgItemMessageW(Window(), id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID) return 0;
    return (st.wHour * 60 + st.wMinute) * 60 + st.wSecond;
  }
  void UpdateEnabling() {
    const bool quiet = Checked(IDC_NTF_NOSOUND), icon = Checked(IDC_NTF_ICON);
    Enable(IDC_NTF_TIME1, quiet);
    Enable(IDC_NTF_TIME2, quiet);
    for (int id : {IDC_NTF_SMALL, IDC_NTF_SMALL_BROWSE, IDC_NTF_LARGE, IDC_NTF_LARGE_BROWSE}) Enable(id, !icon);
    for (int id : {IDC_NTF_ICONFILE, IDC_NTF_ICON_BROWSE}) Enable(id, icon);
  }
};

class AboutPage final : public OptionsPageBase {
 public:
  explicit AboutPage(OptionsData& d) : OptionsPageBase(IDD_PAGE_ABOUT, d) {}

  void OnInitDialog() override {
    std::wstring v = L"v" + DllVersionText(DllModule()) + L" beta";
    SetDlgItemTextW(Window(), IDC_ABOUT_VERSION, v.c_str());
    picture_.LoadPng(DllModule(), IDP_ABOUT);
  }

  void OnPaint() override {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Window(), &ps);
    RECT r;
    GetWindowRect(Item(IDC_ABOUT_PICTURE), &r);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&r), 2);
    picture_.Draw(dc, r.left, r.top);
    EndPaint(Window(), &ps);
  }

 private:
  PictureBitmap picture_;
};

}  // namespace

std::unique_ptr<OptionsPageBase> MakeFiltersPage(OptionsData& d) { return std::make_unique<FiltersPage>(d); }
std::unique_ptr<OptionsPageBase> MakeNotifyPage(OptionsData& d) { return std::make_unique<NotifyPage>(d); }
std::unique_ptr<OptionsPageBase> MakeAboutPage(OptionsData& d) { return std::make_unique<AboutPage>(d); }

}  // namespace pw::ui
