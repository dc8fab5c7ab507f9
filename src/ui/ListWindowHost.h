// What the messages list window needs from the plug-in that owns it: the
// account array under its shared lock, the options it reads, the layout it
// keeps between openings and the commands it hands on. Every call comes
// from the window's own thread; commands that touch a running session are
// carried out on the checker thread, never here.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "account/AccountSettings.h"
#include "account/MailAccount.h"
#include "base/RefPtr.h"
#include "base/SharedLock.h"
#include "ui/ViewerMessages.h"

namespace pw {
class RuleList;
}

namespace pw::ui {

// The layout and options the window reads when it opens and writes back
// when it closes.
struct ListLayout {
  struct Column {
    int32_t order = 0;
    int32_t width = 0;
  };
  Column columns[6] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}};
  RECT rect = {0, 0, 0, 0};
  double vert = 0.2;
  double horz = 0.5;
  int32_t sortColumn = 0;
  int32_t sortType = 0;
  int32_t selectedFolder = 0;
  // The viewer's state.
  int32_t tabIdx = 0;
  Column viewerColumns[2] = {{0, 100}, {1, 300}};
  ViewSettingsBlock viewer;
  std::vector<std::wstring> fields;
};

struct ListOptions {
  bool paused = false;
  bool useFilter = false;
  bool closeOnClientRun = true;
  int32_t confirm = 5;
  int32_t filterLogFlags = 0;
  std::wstring filtersLogFile;
  std::wstring dateFormat = L"dd MMM yy";
};

class ListWindowHost {
 public:
  // The account array; read only under SharedGuard(AccountsLock()).
  virtual SharedLock& AccountsLock() = 0;
  virtual const std::vector<RefPtr<MailAccount>>& Accounts() = 0;
  virtual ListOptions Options() = 0;
  virtual void ReadLayout(ListLayout& layout) = 0;
  virtual void WriteLayout(const ListLayout& layout) = 0;
  // The host is asked to save the settings.
  virtual void SettingsChanged() = 0;

  // Checker-thread commands: queued, then run at the checker's next tick.
  virtual void CheckAll() = 0;
  virtual void StopSession(MailAccount& account) = 0;
  virtual void StartCheck(MailAccount& account) = 0;
  // A tick soon, so that a prompt check asked for starts without waiting.
  virtual void WakeChecker() = 0;

  virtual void RunMailReader() = 0;
  // Adds an account made from `settings`; the new record, or null.
  virtual RefPtr<MailAccount> AddAccount(const AccountSettings& settings) = 0;
  virtual void RemoveAccount(MailAccount& account) = 0;
  // The account's settings replaced by `settings` (its id kept).
  virtual void UpdateAccount(MailAccount& account, const AccountSettings& settings) = 0;

  // A copy of the rules to edit; publishing replaces them and re-applies
  // them to every account, off the window's thread.
  virtual std::unique_ptr<RuleList> CopyRules() = 0;
  virtual void PublishRules(std::unique_ptr<RuleList> rules) = 0;
  virtual int32_t DefaultFilter() = 0;
  virtual void SetDefaultFilter(int32_t index) = 0;
  // The header field last chosen for a new filter condition.
  virtual int32_t DefaultField() = 0;
  virtual void SetDefaultField(int32_t index) = 0;

  // The window is gone: the host may free what it keeps for it.
  virtual void WindowClosed() {}

 protected:
  ~ListWindowHost() = default;
};

}  // namespace pw::ui
