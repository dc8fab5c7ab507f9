// Control commands of the filters, for the stand-in host and scripts:
//   filters on|off                      switch filtering on or off
//   import-conditions RULE FILE         add the sets of FILE to the rule
//   export-conditions RULE FILE         write the rule's sets to FILE
//   filter-editor                       the rule editor; prints 1 on OK
//   filter-condition HEADERFILE         the condition-set editor for a
//                                       message with that header; 1 on OK
// RULE is a rule's name or its position from 1.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "account/MessageHeader.h"
#include "base/Module.h"
#include "core/PluginObject.h"
#include "filter/ConditionTransfer.h"
#include "filter/RuleEngine.h"
#include "ui/FilterEditors.h"

namespace pw {
namespace {

FilterRule* FindRule(RuleList& list, const std::wstring& name) {
  for (auto& r : list.rules)
    if (_wcsicmp(r->name, name.c_str()) == 0) return r.get();
  wchar_t* end = nullptr;
  const unsigned long n = wcstoul(name.c_str(), &end, 10);
  if (end && !*end && n >= 1 && n <= list.rules.size()) return list.rules[n - 1].get();
  return nullptr;
}

const wchar_t* TransferText(TransferError e) {
  switch (e) {
    case TransferError::None: return L"done";
    case TransferError::CannotRead: return L"the file cannot be read";
    case TransferError::TooLarge: return L"the file is too large";
    case TransferError::Binary: return L"the file is not text";
    case TransferError::BadXml: return L"the file is not a filter export document";
    case TransferError::Unsafe: return L"the file declares a document type";
    case TransferError::TooDeep: return L"the file nests too deeply";
    case TransferError::NoXmlParser: return L"no XML parser is installed";
    case TransferError::CannotWrite: return L"the file cannot be written";
  }
  return L"";
}

}  // namespace

void PluginObject::AdoptEditedRules(std::unique_ptr<RuleList> list) {
  rules_.Publish(std::move(list));
  NotifySettingsChanged();
  if (settings_.useFilter) ReapplyInBackground();
}

void PluginObject::ReapplyInBackground() {
  if (reapplier_.joinable()) reapplier_.join();
  std::vector<RefPtr<MailAccount>> accounts;
  {
    SharedGuard g(accountsLock_);
    accounts = accounts_;
  }
  // The window stays responsive while every message is classified again.
  reapplier_ = std::thread([this, rules = rules_.Current(), accounts = std::move(accounts)] {
    for (const auto& a : accounts) reapplyFilters(*rules, *a);
    PostToList(WM_USER, 9, 0);
  });
}

bool PluginObject::ControlFilters(const std::vector<std::wstring>& words, std::wstring& out, std::wstring& error) {
  if (words[0] == L"filter-editor" || words[0] == L"filter-condition") {
    HWND owner = host_ ? host_->GetOwnerWindow() : nullptr;
    std::unique_ptr<RuleList> list = rules_.Copy();
    bool ok = false;
    ui::FilterEditorState state = EditorState();
    if (words[0] == L"filter-editor") {
      ok = ui::EditFilterRules(owner, ResourceModule(), *list, state);
    } else {
      if (words.size() != 2) {
        error = L"usage: filter-condition HEADERFILE";
        return false;
      }
      std::ifstream in(words[1].c_str(), std::ios::binary);
      const std::string header((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in && header.empty()) {
        error = L"cannot read " + words[1];
        return false;
      }
      RefPtr<MailMessage> message = MailMessage::Create(L"control");
      parseHeader(*message, header.data(), header.size());
      ok = ui::CreateFilterCondition(owner, ResourceModule(), *list, *message, state);
    }
    KeepEditorState(state);
    if (ok) AdoptEditedRules(std::move(list));
    out = ok ? L"1" : L"0";
    return true;
  }
  if (words[0] == L"filters") {
    if (words.size() != 2 || (words[1] != L"on" && words[1] != L"off")) {
      error = L"usage: filters on|off";
      return false;
    }
    settings_.useFilter = words[1] == L"on" ? 1 : 0;
    return true;
  }
  if (words.size() != 3) {
    error = L"usage: " + words[0] + L" RULE FILE";
    return false;
  }
  std::unique_ptr<RuleList> list = rules_.Copy();
  FilterRule* rule = FindRule(*list, words[1]);
  if (!rule) {
    error = L"no rule " + words[1];
    return false;
  }
  if (words[0] == L"export-conditions") {
    const TransferError e = ExportConditions(*rule, words[2].c_str());
    if (e != TransferError::None) error = TransferText(e);
    return e == TransferError::None;
  }
  size_t added = 0;
  const TransferError e = ImportConditions(*rule, words[2].c_str(), ImportDefaults(), &added);
  if (e != TransferError::None) {
    error = TransferText(e);
    return false;
  }
  // The checker reads the old list until the new one is published.
  rules_.Publish(std::move(list));
  out = std::to_wstring(added) + L" condition sets imported";
  return true;
}

}  // namespace pw
