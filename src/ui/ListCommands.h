// The commands of the messages list window: toolbar buttons, the two
// context menus, the keys and double-clicks. A short-lived helper over the
// window, made for each command on the window's thread.
#pragma once

#include <windows.h>

#include <vector>

#include "account/MailAccount.h"
#include "account/MailMessage.h"

namespace pw::ui {

class MessagesListWindow;

class ListCommands {
 public:
  explicit ListCommands(MessagesListWindow& w) : w_(w) {}

  void Run(UINT command);
  void CheckAll();
  void CheckSelected();
  void Properties();
  void Load(bool byDoubleClick);
  void DeleteSelected();
  void DeleteType(MessageType type);
  void RunReader();
  void MarkAllRead();
  void MarkSelected(bool read);
  void SetType(MessageType type);
  void EditFilters();
  void AddFilter();
  void OpenLog();
  void Save();
  void QuickReply();
  void RowMenu();
  void FolderMenu();

 private:
  bool Confirm(UINT text, bool longCaption);
  // Asks each account once, in first-named order, for a prompt check.
  void PromptChecks(const std::vector<MailAccount*>& accounts);
  void AfterMarking(bool changed);
  void AddAccount(bool clone);
  void DeleteAccount();
  void Suspend();
  MessagesListWindow& w_;
};

}  // namespace pw::ui
