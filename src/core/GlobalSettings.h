// The plug-in's own settings: the "settings", "connection", "Filters",
// "ListPos" and "MessagesList" nodes of the settings stream, with their
// initial values (construction) and load defaults (missing keys).
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace pw {

class SettingsTree;

struct ColumnPos {
  int32_t order = 0;
  int32_t width = 0;
};

struct ViewerStyle {
  int32_t fieldNameBold = 1, fieldNameColor = 0x800000, fieldNameItalic = 0;
  int32_t fieldValueBold = 1, fieldValueColor = -1, fieldValueItalic = 0;
  wchar_t fontName[32] = L"Courier New";
  int32_t fontSize = 8;
  int32_t messageBodyBold = 1, messageBodyColor = -1, messageBodyItalic = 0;
  int32_t sourceBodyBold = 1, sourceBodyColor = 0x8000, sourceBodyItalic = 0;
};

struct ProxySettings {
  wchar_t server[100] = L"";
  wchar_t user[100] = L"";
  int32_t port = 0;
  int32_t options = 0;  // proxy type and flags; 0 = no proxy
  wchar_t password[100] = L"";  // in clear in memory
};

struct GlobalSettings {
  // settings
  int32_t pause = 0;
  int32_t openList = 0;
  int32_t markReadOnRun = 1;
  wchar_t reader[260] = L"";
  wchar_t smallAnim[260] = L"";
  wchar_t largeAnim[260] = L"";
  int32_t useIconNotify = 0;
  wchar_t notifyIcon[260] = L"";
  wchar_t iconLocation[260] = L"";
  int32_t showMsgNum = 0;
  wchar_t dateFormat[100] = L"dd MMM yy";
  int32_t useNoSound = 0;
  int32_t noSoundTime1 = 0;
  int32_t noSoundTime2 = 0;
  uint16_t listHotkey = 0;
  uint16_t readerHotkey = 0;

  ProxySettings proxy;

  // Filters
  int32_t useFilter = 0;
  int32_t filterLogFlags = 0;
  wchar_t filtersLogFile[260] = L"";

  // ListPos
  ColumnPos columns[6] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}};
  RECT listRect = {0, 0, 0, 0};
  double vert = 0.2;
  double horz = 0.5;
  int32_t tabIdx = 0;
  ColumnPos viewerColumns[2] = {{0, 100}, {1, 300}};
  ViewerStyle viewer;

  // MessagesList
  int32_t confirm = 5;
  int32_t closeOnClientRun = 1;
  int32_t defaultFilter = 0;
  int32_t defaultField = 17;
  int32_t sortColumn = 0;
  int32_t sortType = 0;
  int32_t selectedAccount = 0;
  std::vector<std::wstring> fields = {L"From", L"To", L"Subject"};
};

// The first unit of the proxy password is XORed with 0x7B2D once per unit of
// the text; the transformation is its own inverse.
void ScramblePassword(wchar_t* text);

// Node by node; the account and rule records are written by their owners
// into the nodes these functions open for them.
void LoadSettingsNode(SettingsTree& tree, GlobalSettings& s);
void SaveSettingsNode(SettingsTree& tree, const GlobalSettings& s);
bool LoadConnectionNode(SettingsTree& tree, GlobalSettings& s);
void SaveConnectionNode(SettingsTree& tree, const GlobalSettings& s);
void LoadFilterKeys(SettingsTree& tree, GlobalSettings& s);
void SaveFilterKeys(SettingsTree& tree, const GlobalSettings& s);
void LoadListPosNode(SettingsTree& tree, GlobalSettings& s);
void SaveListPosNode(SettingsTree& tree, const GlobalSettings& s);
void LoadMessagesListNode(SettingsTree& tree, GlobalSettings& s);
void SaveMessagesListNode(SettingsTree& tree, const GlobalSettings& s);

}  // namespace pw
