// What the options sheet edits: a copy of the global settings its pages
// show, the accounts' settings records and the proxy block. The plug-in
// fills it before the sheet opens and takes it back after OK.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <vector>

#include "account/AccountSettings.h"

namespace pw::ui {

struct OptionsData {
  // Page "Options".
  wchar_t reader[260] = L"";
  int32_t openList = 0;
  int32_t markReadOnRun = 1;
  int32_t closeOnClientRun = 1;
  wchar_t dateFormat[100] = L"";
  int32_t confirm = 0;
  uint16_t listHotkey = 0;
  uint16_t readerHotkey = 0;
  // Page "Accounts": in array order; `id` is the account the record was
  // copied from, 0 for a record created in the sheet.
  std::vector<AccountSettings> accounts;
  // Page "Connection".
  int32_t proxyOptions = 0;
  wchar_t proxyServer[100] = L"";
  int32_t proxyPort = 0;
  wchar_t proxyUser[100] = L"";
  wchar_t proxyPassword[100] = L"";
  // Page "Filters".
  int32_t useFilter = 0;
  int32_t filterLogFlags = 0;
  wchar_t filtersLogFile[260] = L"";
  // Page "Notify".
  int32_t useIconNotify = 0;
  wchar_t smallAnim[260] = L"";
  wchar_t largeAnim[260] = L"";
  wchar_t notifyIcon[260] = L"";
  int32_t showMsgNum = 0;
  int32_t useNoSound = 0;
  int32_t noSoundTime1 = 0;
  int32_t noSoundTime2 = 0;

  // Opens the rule editor on the sheet's copy of the rules; while it is
  // empty the "Edit filtering rules..." button stays disabled.
  std::function<void(HWND owner)> editRules;
};

// Makes every value safe to show: times within a day, known proxy types,
// terminated texts. Returns true when something was changed.
bool SanitizeOptions(OptionsData& data);

// Shows the sheet modally; true when the user confirmed with OK, and then
// `data` holds what the user set.
bool ShowOptionsSheet(HWND owner, HMODULE resources, OptionsData& data);

}  // namespace pw::ui
