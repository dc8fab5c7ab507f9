// The rows of the messages list: the window's own array of references
// (message and account) behind a virtual list view, a map from message to
// row, and the sort over keys computed once per sort.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "base/RefPtr.h"

namespace pw::ui {

struct ListRowRef {
  RefPtr<MailMessage> message;
  RefPtr<MailAccount> account;
  // Rewritten by a refresh: missing fields then show differently.
  bool refreshed = false;
};

class ListRows {
 public:
  size_t Size() const { return rows_.size(); }
  const ListRowRef& At(size_t i) const { return rows_[i]; }
  ListRowRef& At(size_t i) { return rows_[i]; }
  // Index of the message's row, or -1.
  int Find(const MailMessage* message) const;
  size_t Append(MailMessage& message, MailAccount& account);
  void Remove(size_t index);
  // Releases every reference.
  void Clear();
  void Reserve(size_t n) { rows_.reserve(n); }
  // What the rows, the sort buffer and the map take (container capacities).
  size_t MemoryBytes() const {
    BuildIndex();
    return (rows_.capacity() + scratch_.capacity()) * sizeof(ListRowRef) + index_.capacity() * sizeof(index_[0]);
  }

  // Stable sort by column (0 picture, 1 From, 2 Subject, 3 date, 4 size;
  // others keep the order); type 1 ascending, anything else descending.
  // The caller holds the accounts' message locks shared.
  void Sort(int column, int type);
  // Brings the message-to-row map up to date now.
  void BuildIndex() const { if (stale_) Reindex(); }

 private:
  // The message-to-row map: open addressing over a power-of-two table,
  // rebuilt after a sort or a removal (both move rows anyway).
  // Rebuilt lazily, on the first lookup after the rows moved.
  void Reindex() const;
  void Insert(const MailMessage* m, uint32_t row) const;
  size_t Slot(const MailMessage* m) const;
  std::vector<ListRowRef> rows_;
  std::vector<ListRowRef> scratch_;  // the sort's second buffer, kept
  mutable std::vector<std::pair<const MailMessage*, uint32_t>> index_;
  mutable bool stale_ = false;
};

// Letter case ignored, for the From and Subject sort keys.
int CompareFolded(const wchar_t* a, const wchar_t* b);

// Sort comparison of two messages by a column, as the key order: <0, 0, >0.
// Exposed for the tests and the benchmark.
int CompareForColumn(int column, const MailMessage& a, const MailMessage& b);

// Cell texts. `refreshed` selects the texts a refresh writes for missing
// fields ("" and "<not loaded>") instead of those an added row shows.
std::wstring FormatSize(uint32_t size);
std::wstring FormatDate(const MailMessage& m, const wchar_t* dateFormat, bool refreshed);
std::wstring FieldCell(const MailMessage& m, const wchar_t* name, bool refreshed);

}  // namespace pw::ui
