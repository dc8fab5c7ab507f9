// The Message View Settings dialog: colours, bold and italic of the four
// text kinds, and the font, on a copy of the viewer's block.
#include <algorithm>
#include <string>

#include "ui/ColorButton.h"
#include "ui/DialogWindow.h"
#include "ui/viewer/MessageViewer.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

struct Group {
  int color, bold, italic;
  int32_t ViewSettingsBlock::*c;
  int32_t ViewSettingsBlock::*b;
  int32_t ViewSettingsBlock::*i;
};
const Group kGroups[] = {
    {IDC_VS_NAME_COLOR, IDC_VS_NAME_BOLD, IDC_VS_NAME_ITALIC, &ViewSettingsBlock::fieldNameColor,
     &ViewSettingsBlock::fieldNameBOLD, &ViewSettingsBlock::fieldNameITALIC},
    {IDC_VS_VALUE_COLOR, IDC_VS_VALUE_BOLD, IDC_VS_VALUE_ITALIC, &ViewSettingsBlock::fieldValueColor,
     &ViewSettingsBlock::fieldValueBOLD, &ViewSettingsBlock::fieldValueITALIC},
    {IDC_VS_SOURCE_COLOR, IDC_VS_SOURCE_BOLD, IDC_VS_SOURCE_ITALIC, &ViewSettingsBlock::sourceBodyColor,
     &ViewSettingsBlock::sourceBodyBOLD, &ViewSettingsBlock::sourceBodyITALIC},
    {IDC_VS_BODY_COLOR, IDC_VS_BODY_BOLD, IDC_VS_BODY_ITALIC, &ViewSettingsBlock::messageBodyColor,
     &ViewSettingsBlock::messageBodyBOLD, &ViewSettingsBlock::messageBodyITALIC},
};

int CALLBACK AddFace(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM combo) {
  if (lf->lfFaceName[0] != L'@' &&
      SendMessageW(reinterpret_cast<HWND>(combo), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(lf->lfFaceName)) == CB_ERR)
    SendMessageW(reinterpret_cast<HWND>(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lf->lfFaceName));
  return 1;
}

class ViewSettingsDialog final : public DialogWindow {
 public:
  explicit ViewSettingsDialog(ViewSettingsBlock& s) : DialogWindow(IDD_VIEW_SETTINGS), s_(s) {}

  void OnInitDialog() override {
    for (const auto& g : kGroups) {
      SendMessageW(Item(g.color), CBM_SETCOLOR, static_cast<WPARAM>(s_.*g.c), 0);
      Check(g.bold, s_.*g.b != 0);
      Check(g.italic, s_.*g.i != 0);
    }
    HWND face = Item(IDC_VS_FONT);
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    HDC dc = GetDC(Window());
    EnumFontFamiliesExW(dc, &lf, AddFace, reinterpret_cast<LPARAM>(face), 0);
    ReleaseDC(Window(), dc);
    SetWindowTextW(face, s_.fontName);
    HWND size = Item(IDC_VS_SIZE);
    for (int pt : {6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 36})
      SendMessageW(size, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(pt).c_str()));
    SetWindowTextW(size, std::to_wstring(s_.fontSize).c_str());
  }

  bool OnOK() override {
    for (const auto& g : kGroups) {
      s_.*g.c = static_cast<int32_t>(SendMessageW(Item(g.color), CBM_GETCOLOR, 0, 0));
      s_.*g.b = Checked(g.bold) ? 1 : 0;
      s_.*g.i = Checked(g.italic) ? 1 : 0;
    }
    wchar_t face[32] = L"";
    GetWindowTextW(Item(IDC_VS_FONT), face, 32);
    if (face[0]) wcscpy(s_.fontName, face);
    wchar_t size[16] = L"";
    GetWindowTextW(Item(IDC_VS_SIZE), size, 16);
    int pt = _wtoi(size);
    if (pt > 0) s_.fontSize = std::min(pt, 72);
    return true;
  }

 private:
  ViewSettingsBlock& s_;
};

}  // namespace

bool EditViewSettings(HWND owner, ViewSettingsBlock& settings) {
  ViewSettingsBlock copy = settings;
  ViewSettingsDialog dialog(copy);
  if (dialog.DoModal(owner, nullptr) != 1) return false;
  settings = copy;
  return true;
}

}  // namespace pw::ui
