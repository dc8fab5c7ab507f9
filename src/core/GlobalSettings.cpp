#include "core/GlobalSettings.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "base/SettingsTree.h"

namespace pw {
namespace {

template <size_t N>
void ReadStr(SettingsTree& t, const wchar_t* key, wchar_t (&field)[N], const wchar_t* def = L"") {
  t.GetStringInto(key, def, field, N);
}

void ReadColumn(SettingsTree& t, const std::wstring& node, int i, ColumnPos& c) {
  c = {i, 100};
  if (t.EnterNode(node.c_str())) {
    c.order = t.GetInt(L"order", i);
    c.width = t.GetInt(L"width", 100);
    t.LeaveNode();
  }
}

void WriteColumn(SettingsTree& t, const std::wstring& node, const ColumnPos& c) {
  t.CreateNode(node.c_str());
  t.SetInt(L"order", c.order);
  t.SetInt(L"width", c.width);
  t.CloseNode();
}

// A binary value replaces the field only when it is fully there.
void ReadBinary(SettingsTree& t, const wchar_t* key, void* field, uint32_t size) {
  uint32_t got = 0;
  const uint8_t* p = t.GetBinary(key, &got);
  if (p && got >= size) memcpy(field, p, size);
}

std::wstring Numbered(const wchar_t* base, int i) {
  wchar_t buf[64];
  swprintf(buf, 64, L"%ls#%d", base, i);
  return buf;
}

// The scrambled password is written with its full length: its first unit
// may scramble to zero, which a plain string value would end at.
void WriteScrambled(SettingsTree& t, const wchar_t* key, const wchar_t* clear) {
  std::wstring copy(clear);
  ScramblePassword(copy.data());
  t.SetBinary(key, copy.c_str(), static_cast<uint32_t>((copy.size() + 1) * sizeof(wchar_t)));
}

// The text runs to the first zero unit after the first unit (the value's
// last unit is its terminator); it is unscrambled at its stored length and
// then cut to the field.
template <size_t N>
void ReadScrambled(SettingsTree& t, const wchar_t* key, wchar_t (&field)[N]) {
  uint32_t size = 0;
  const uint8_t* p = t.GetBinary(key, &size);
  field[0] = 0;
  if (!p) return;
  std::wstring text(size / 2, L'\0');
  memcpy(text.data(), p, text.size() * sizeof(wchar_t));
  size_t end = text.size();
  if (end && text[end - 1] == 0) --end;
  for (size_t i = 1; i < end; ++i) {
    if (text[i] == 0) {
      end = i;
      break;
    }
  }
  text.resize(end);
  if (end % 2 == 1) text[0] ^= 0x7B2D;
  size_t n = std::min(end, N - 1);
  wmemcpy(field, text.data(), n);
  field[n] = 0;
}

}  // namespace

void ScramblePassword(wchar_t* text) {
  size_t len = wcslen(text);
  if (len % 2 == 1) text[0] ^= 0x7B2D;  // XORed len times: only the parity counts
}

void LoadSettingsNode(SettingsTree& t, GlobalSettings& s) {
  bool entered = t.EnterNode(L"settings");
  s.pause = t.GetInt(L"pause", 0);
  s.openList = t.GetInt(L"OpenList", 0);
  s.markReadOnRun = t.GetInt(L"MarkReadOnRun", 0);
  ReadStr(t, L"reader", s.reader);
  ReadStr(t, L"smallAnim", s.smallAnim);
  ReadStr(t, L"largeAnim", s.largeAnim);
  s.useIconNotify = t.GetInt(L"useIconNotify", 0);
  ReadStr(t, L"NotifyIcon", s.notifyIcon);
  ReadStr(t, L"IconLocation", s.iconLocation);
  s.showMsgNum = t.GetInt(L"showMsgNum", 1);
  ReadStr(t, L"dateFormat", s.dateFormat);
  s.useNoSound = t.GetInt(L"useNoSound", 0);
  s.noSoundTime1 = t.GetInt(L"noSoundTime1", 0);
  s.noSoundTime2 = t.GetInt(L"noSoundTime2", 0);
  s.listHotkey = static_cast<uint16_t>(t.GetShort(L"listHotkey", 0));
  s.readerHotkey = static_cast<uint16_t>(t.GetShort(L"readerHotkey", 0));
  if (entered) t.LeaveNode();
}

void SaveSettingsNode(SettingsTree& t, const GlobalSettings& s) {
  t.CreateNode(L"settings");
  t.SetInt(L"pause", s.pause);
  t.SetInt(L"OpenList", s.openList);
  t.SetInt(L"MarkReadOnRun", s.markReadOnRun);
  t.SetString(L"reader", s.reader);
  t.SetString(L"smallAnim", s.smallAnim);
  t.SetString(L"largeAnim", s.largeAnim);
  t.SetInt(L"useIconNotify", s.useIconNotify);
  t.SetString(L"NotifyIcon", s.notifyIcon);
  t.SetString(L"IconLocation", s.iconLocation);
  t.SetInt(L"showMsgNum", s.showMsgNum);
  t.SetString(L"dateFormat", s.dateFormat);
  t.SetInt(L"useNoSound", s.useNoSound);
  t.SetInt(L"noSoundTime1", s.noSoundTime1);
  t.SetInt(L"noSoundTime2", s.noSoundTime2);
  t.SetShort(L"listHotkey", static_cast<int16_t>(s.listHotkey));
  t.SetShort(L"readerHotkey", static_cast<int16_t>(s.readerHotkey));
  t.CloseNode();
}

bool LoadConnectionNode(SettingsTree& t, GlobalSettings& s) {
  if (!t.EnterNode(L"connection")) return false;  // the proxy stays as it was
  ReadStr(t, L"server", s.proxy.server);
  ReadStr(t, L"user", s.proxy.user);
  s.proxy.port = t.GetInt(L"port", 0);
  if (s.proxy.port < 0 || s.proxy.port > 65535) s.proxy.port = 0;  // no port rather than a wrong one
  s.proxy.options = t.GetInt(L"options", 0);
  ReadScrambled(t, L"password", s.proxy.password);
  t.LeaveNode();
  return true;
}

void SaveConnectionNode(SettingsTree& t, const GlobalSettings& s) {
  t.CreateNode(L"connection");
  t.SetString(L"server", s.proxy.server);
  t.SetString(L"user", s.proxy.user);
  t.SetInt(L"port", s.proxy.port);
  t.SetInt(L"options", s.proxy.options);
  WriteScrambled(t, L"password", s.proxy.password);
  t.CloseNode();
}

void LoadFilterKeys(SettingsTree& t, GlobalSettings& s) {
  s.useFilter = t.GetInt(L"useFilter", 0);
  s.filterLogFlags = t.GetInt(L"filterLogFlags", 0);
  ReadStr(t, L"filtersLogFile", s.filtersLogFile);
}

void SaveFilterKeys(SettingsTree& t, const GlobalSettings& s) {
  t.SetInt(L"useFilter", s.useFilter);
  t.SetInt(L"filterLogFlags", s.filterLogFlags);
  t.SetString(L"filtersLogFile", s.filtersLogFile);
}

void LoadListPosNode(SettingsTree& t, GlobalSettings& s) {
  bool entered = t.EnterNode(L"ListPos");
  for (int i = 0; i < 6; ++i) ReadColumn(t, Numbered(L"column", i), i, s.columns[i]);
  ReadBinary(t, L"rect", &s.listRect, sizeof(s.listRect));
  ReadBinary(t, L"vert", &s.vert, sizeof(s.vert));
  ReadBinary(t, L"horz", &s.horz, sizeof(s.horz));
  s.tabIdx = t.GetInt(L"tabIDX", 0);
  for (int i = 0; i < 2; ++i) ReadColumn(t, Numbered(L"msgViewCol", i), i, s.viewerColumns[i]);
  if (t.EnterNode(L"msgview")) {
    ViewerStyle& v = s.viewer;
    v.fieldNameBold = t.GetInt(L"fieldNameBOLD", 1);
    v.fieldNameColor = t.GetInt(L"fieldNameColor", 0x800000);
    v.fieldNameItalic = t.GetInt(L"fieldNameITALIC", 0);
    v.fieldValueBold = t.GetInt(L"fieldValueBOLD", 1);
    v.fieldValueColor = t.GetInt(L"fieldValueColor", -1);
    v.fieldValueItalic = t.GetInt(L"fieldValueITALIC", 0);
    ReadStr(t, L"fontName", v.fontName, L"Courier New");
    v.fontSize = t.GetInt(L"fontSize", 8);
    v.messageBodyBold = t.GetInt(L"messageBodyBOLD", 1);
    v.messageBodyColor = t.GetInt(L"messageBodyColor", -1);
    v.messageBodyItalic = t.GetInt(L"messageBodyITALIC", 0);
    v.sourceBodyBold = t.GetInt(L"sourceBodyBOLD", 1);
    v.sourceBodyColor = t.GetInt(L"sourceBodyColor", 0x8000);
    v.sourceBodyItalic = t.GetInt(L"sourceBodyITALIC", 0);
    t.LeaveNode();
  }
  if (entered) t.LeaveNode();
}

void SaveListPosNode(SettingsTree& t, const GlobalSettings& s) {
  t.CreateNode(L"ListPos");
  for (int i = 0; i < 6; ++i) WriteColumn(t, Numbered(L"column", i), s.columns[i]);
  t.SetBinary(L"rect", &s.listRect, sizeof(s.listRect));
  t.SetBinary(L"vert", &s.vert, sizeof(s.vert));
  t.SetBinary(L"horz", &s.horz, sizeof(s.horz));
  t.SetInt(L"tabIDX", s.tabIdx);
  for (int i = 0; i < 2; ++i) WriteColumn(t, Numbered(L"msgViewCol", i), s.viewerColumns[i]);
  t.CreateNode(L"msgview");
  const ViewerStyle& v = s.viewer;
  t.SetInt(L"fieldNameBOLD", v.fieldNameBold);
  t.SetInt(L"fieldNameColor", v.fieldNameColor);
  t.SetInt(L"fieldNameITALIC", v.fieldNameItalic);
  t.SetInt(L"fieldValueBOLD", v.fieldValueBold);
  t.SetInt(L"fieldValueColor", v.fieldValueColor);
  t.SetInt(L"fieldValueITALIC", v.fieldValueItalic);
  t.SetString(L"fontName", v.fontName);
  t.SetInt(L"fontSize", v.fontSize);
  t.SetInt(L"messageBodyBOLD", v.messageBodyBold);
  t.SetInt(L"messageBodyColor", v.messageBodyColor);
  t.SetInt(L"messageBodyITALIC", v.messageBodyItalic);
  t.SetInt(L"sourceBodyBOLD", v.sourceBodyBold);
  t.SetInt(L"sourceBodyColor", v.sourceBodyColor);
  t.SetInt(L"sourceBodyITALIC", v.sourceBodyItalic);
  t.CloseNode();
  t.CloseNode();
}

void LoadMessagesListNode(SettingsTree& t, GlobalSettings& s) {
  bool entered = t.EnterNode(L"MessagesList");
  s.confirm = t.GetInt(L"confirm", 5);
  s.closeOnClientRun = t.GetInt(L"closeOnClientRun", 1);
  s.defaultFilter = t.GetInt(L"defaultFilter", 0);
  s.defaultField = t.GetInt(L"defaultField", 0);
  s.sortColumn = t.GetInt(L"sortColumn", 0);
  s.sortType = t.GetInt(L"sortType", 0);
  s.selectedAccount = t.GetInt(L"selectedAccount", 0);
  s.fields.clear();
  if (t.EnterNode(L"Fields")) {
    int32_t count = t.GetInt(L"count", 0);
    // Every field name takes real entries in the stream; a damaged count
    // cannot ask for more than that.
    if (count < 0) count = 0;
    if (static_cast<size_t>(count) > t.Entries().size()) count = static_cast<int32_t>(t.Entries().size());
    for (int32_t i = 0; i < count; ++i) {
      const wchar_t* name = t.GetString(Numbered(L"field", i).c_str(), L"");
      s.fields.emplace_back(name ? name : L"");
    }
    t.LeaveNode();
  }
  if (entered) t.LeaveNode();
}

void SaveMessagesListNode(SettingsTree& t, const GlobalSettings& s) {
  t.CreateNode(L"MessagesList");
  t.SetInt(L"confirm", s.confirm);
  t.SetInt(L"closeOnClientRun", s.closeOnClientRun);
  t.SetInt(L"defaultFilter", s.defaultFilter);
  t.SetInt(L"defaultField", s.defaultField);
  t.SetInt(L"sortColumn", s.sortColumn);
  t.SetInt(L"sortType", s.sortType);
  t.SetInt(L"selectedAccount", s.selectedAccount);
  t.CreateNode(L"Fields");
  t.SetInt(L"count", static_cast<int32_t>(s.fields.size()));
  for (size_t i = 0; i < s.fields.size(); ++i) t.SetString(Numbered(L"field", static_cast<int>(i)).c_str(), s.fields[i].c_str());
  t.CloseNode();
  t.CloseNode();
}

}  // namespace pw
