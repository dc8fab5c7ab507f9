// Every dialog template of the plug-in is usable from the keyboard: each
// control that takes input is a tab stop (radio groups through their first
// button), and no mnemonic is used twice in one template.
#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "ui/DialogWindow.h"
#include "ui_ids.h"

namespace {

struct Item {
  DWORD style = 0;
  DWORD id = 0;
  std::wstring cls, title;
};

// Reads a string-or-ordinal field; ordinals become "#n".
std::wstring SzOrOrd(const WORD*& p) {
  if (*p == 0xFFFF) {
    std::wstring s = L"#" + std::to_wstring(p[1]);
    p += 2;
    return s;
  }
  std::wstring s(reinterpret_cast<const wchar_t*>(p));
  p += s.size() + 1;
  return s;
}

std::vector<Item> ReadTemplateEx(const DLGTEMPLATE* t) {
  std::vector<Item> items;
  const WORD* p = reinterpret_cast<const WORD*>(t);
  if (p[0] != 1 || p[1] != 0xFFFF) return items;  // DIALOGEX only
  const DWORD style = *reinterpret_cast<const DWORD*>(p + 6);
  const WORD count = p[8];
  p += 13;  // ver, sig, help, exstyle, style, count, x, y, cx, cy
  SzOrOrd(p);  // menu
  SzOrOrd(p);  // class
  SzOrOrd(p);  // title
  if (style & (DS_SETFONT | DS_SHELLFONT)) {
    p += 3;  // point size, weight, italic + charset
    SzOrOrd(p);
  }
  for (WORD i = 0; i < count; ++i) {
    p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
    Item it;
    it.style = *reinterpret_cast<const DWORD*>(p + 4);
    p += 10;  // help, exstyle, style, x, y, cx, cy
    it.id = *reinterpret_cast<const DWORD*>(p);
    p += 2;
    it.cls = SzOrOrd(p);
    it.title = SzOrOrd(p);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    items.push_back(it);
  }
  return items;
}

bool TakesInput(const Item& it) {
  if (!(it.style & WS_VISIBLE) || (it.style & WS_DISABLED)) return false;
  if (it.cls == L"#129" || it.cls == L"#131" || it.cls == L"#133") return true;  // edit, list, combo
  if (it.cls == L"#128") {
    const DWORD type = it.style & 0xF;
    if (type == BS_GROUPBOX) return false;
    if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) return (it.style & WS_GROUP) != 0;
    return true;
  }
  return it.cls == L"DKRHOTKEY_CLASS" || it.cls == L"SysDateTimePick32" || it.cls == L"dkrTABSWITCHER_CLASS" ||
         it.cls == L"DKRWEBLINK";
}

TEST(Templates, KeyboardReachableAndMnemonicsUnique) {
  const UINT ids[] = {IDD_OPTIONS_FRAME, IDD_PAGE_OPTIONS, IDD_PAGE_ACCOUNTS, IDD_PAGE_CONNECTION, IDD_PAGE_FILTERS,
                      IDD_PAGE_NOTIFY, IDD_PAGE_ABOUT, IDD_ACCOUNT_OPTIONS, IDD_ACCOUNT_INCOMING,
                      IDD_ACCOUNT_OUTGOING, IDD_ICON_PICKER, IDD_MSGICON_PICKER};
  for (UINT id : ids) {
    HMODULE from = nullptr;
    const DLGTEMPLATE* t = pw::ui::DialogWindow::FindTemplate(id, nullptr, &from);
    ASSERT_NE(t, nullptr) << id;
    std::vector<Item> items = ReadTemplateEx(t);
    EXPECT_FALSE(items.empty()) << id;
    std::map<wchar_t, std::wstring> seen;
    for (const Item& it : items) {
      if (TakesInput(it))
        EXPECT_TRUE(it.style & WS_TABSTOP) << "dialog " << id << " control " << it.id << " is not a tab stop";
      for (size_t k = 0; k + 1 < it.title.size(); ++k) {
        if (it.title[k] != L'&') continue;
        if (it.title[k + 1] == L'&') { ++k; continue; }
        const wchar_t m = static_cast<wchar_t>(towlower(it.title[k + 1]));
        auto [where, fresh] = seen.emplace(m, it.title);
        EXPECT_TRUE(fresh) << "dialog " << id << ": mnemonic '" << char(m) << "' twice ("
                           << std::string(where->second.begin(), where->second.end()) << ")";
        break;
      }
    }
  }
}

}  // namespace
