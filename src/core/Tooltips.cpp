#include "core/Notifier.h"

#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/StrConv.h"
#include "core/PluginObject.h"
#include "base/Module.h"
#include "mail/SessionFactory.h"
#include "resource.h"

namespace pw::Notifier {
namespace {

// What one account contributes to a tooltip.
struct AccountLine {
  std::wstring name;
  uint32_t count = 0;
  uint32_t bytes = 0;
  bool failed = false;  // its last check failed: the error text is shown
  std::wstring error;
};

// Error codes 0 and 2 count as a check that went through.
bool CheckedWell(uint32_t error) { return error == 0 || error == 2; }

std::vector<AccountLine> Walk(const PluginObject& plugin) {
  std::vector<AccountLine> lines;
  SharedGuard g(plugin.AccountsLock());
  for (const auto& account : plugin.Accounts()) {
    AccountLine line;
    line.name = account->settings.accountName;
    uint32_t error = account->CountNew(&line.count, &line.bytes);
    line.failed = !CheckedWell(error) && account->GetStatus() == AccountStatus::Error;
    if (line.failed) line.error = account->ErrorText();
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

std::wstring SizeText(uint32_t n) {
  wchar_t buf[32];
  if (n <= 1024)
    swprintf(buf, 32, L"%d", static_cast<int>(n));
  else if (n <= 1048576)
    swprintf(buf, 32, L"%0.2fK", n / 1024.0);
  else
    swprintf(buf, 32, L"%0.2fM", n / 1048576.0);
  return buf;
}

std::wstring TitleTooltip(const PluginObject& plugin) {
  uint32_t count = 0, bytes = 0;
  {
    SharedGuard g(plugin.AccountsLock());
    for (const auto& account : plugin.Accounts()) {
      uint32_t n = 0, b = 0;
      if (!CheckedWell(account->CountNew(&n, &b))) continue;
      count += n;
      bytes += b;
    }
  }
  if (count == 0) return plugin.Caption();
  return plugin.Caption() + L" " + std::to_wstring(count) + L" (" + SizeText(bytes) + L")";
}

std::wstring PlainTooltip(const PluginObject& plugin) {
  std::wstring text = plugin.Caption();
  if (plugin.SettingsUnread()) text += L"\n" + LoadStr(IDS_SETTINGS_UNREAD);
  for (const AccountLine& line : Walk(plugin)) {
    if (line.failed)
      text += L"\n" + line.name + L"\t" + line.error;
    else if (line.count)
      text += L"\n" + line.name + L"\t" + std::to_wstring(line.count) + L" (" + SizeText(line.bytes) + L")";
  }
  return text;
}

void FillTooltip(const PluginObject& plugin, dockrail::TooltipInfo& info) {
  if (info.flags & (dockrail::kTipClear20a | dockrail::kTipClear20b)) info.field20 = 0;
  if (info.flags & dockrail::kTipField8) info.field8 = 5;
  if (info.flags & dockrail::kTipTitle)
    CopyAnsi(info.text, dockrail::kTooltipTextSize, WideToAnsi(TitleTooltip(plugin).c_str()));
  if (info.flags & dockrail::kTipPlainText)
    CopyAnsi(info.text, dockrail::kTooltipTextSize, WideToAnsi(PlainTooltip(plugin).c_str()));
}

std::wstring RichTooltipText(const PluginObject& plugin) {
  std::wstring text;
  if (plugin.SettingsUnread()) text = LoadStr(IDS_SETTINGS_UNREAD);
  for (const AccountLine& line : Walk(plugin)) {
    std::wstring entry;
    if (line.failed) {
      if (line.error.empty()) continue;
      entry = L"<b>" + line.name + L"</b>\t" + line.error;
    } else if (line.count) {
      wchar_t size[64] = {};
      StrFormatByteSizeW(line.bytes, size, ARRAYSIZE(size));
      entry = L"<b>" + line.name + L"</b>\t" + std::to_wstring(line.count) + L" (" + size + L")";
    } else {
      continue;
    }
    if (!text.empty()) text += L"\n";
    text += entry;
  }
  return text;
}

wchar_t* RichTooltip(const PluginObject& plugin) {
  std::wstring text = RichTooltipText(plugin);
  if (text.empty()) return nullptr;
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* out = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (out) memcpy(out, text.c_str(), bytes);
  return out;
}

}  // namespace pw::Notifier
