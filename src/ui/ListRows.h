// The rows of the messages list: the window's own array of references
// (message and account) behind a virtual list view, a map from message to
// row, and the sort over keys computed once per sort.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <utility>
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
  // What the row was counted as (kRowNew, kRowSpam, kRowDangerous).
  uint8_t counted = 0;
  // The numeric sort keys (picture, date, size), read from the message
  // whenever the row is counted, so a sort reads no message.
  uint16_t typeKey = 0;
  uint32_t sizeKey = 0;
  uint64_t dateKey = 0;
};

inline constexpr uint8_t kRowNew = 1, kRowSpam = 2, kRowDangerous = 4;

class ListRows {
 public:
  size_t Size() const { return rows_.size(); }
  const ListRowRef& At(size_t i) const { return rows_[i]; }
  ListRowRef& At(size_t i) { return rows_[i]; }
  // Index of the message's row, or -1.
  int Find(const MailMessage* message) const;
  size_t Append(MailMessage& message, MailAccount& account);
  void Remove(size_t index);
  // Removes the rows of these messages in one pass; returns how many went.
  size_t RemoveMessages(const std::vector<MailMessage*>& messages);
  // Releases every reference.
  void Clear();
  void Reserve(size_t n) { rows_.reserve(n); }
  // What the rows, the sort buffer and the map take (container capacities).
  size_t MemoryBytes() const {
    BuildIndex();
    return (rows_.capacity() + scratch_.capacity()) * sizeof(ListRowRef) + index_.capacity() * sizeof(index_[0]) +
           (numbers_.capacity() + numbers2_.capacity()) * sizeof(numbers_[0]) + texts_.capacity() * sizeof(texts_[0]);
  }

  // Stable sort by column (0 picture, 1 From, 2 Subject, 3 date, 4 size;
  // others keep the order); type 1 ascending, anything else descending.
  // The caller holds the accounts' message locks shared. Each of `follow`
  // (row indices before the sort, -1 for none) becomes that row's index
  // after it.
  void Sort(int column, int type, std::vector<int>* follow = nullptr);
  // Brings the message-to-row map up to date now.
  void BuildIndex() const { if (stale_) Reindex(); }

  // After one row's key changed in rows sorted by (column, type): whether
  // it still stands in order between its neighbours.
  bool InOrder(size_t row, int column, int type) const;
  // Moves that row to where a stable sort of the whole would put it (the
  // other rows being in order) and returns its new index.
  size_t Reposition(size_t row, int column, int type);

  // Counts of rows whose message is unread, Spam, Dangerous, kept as rows
  // come, go and are refreshed, so no question about them walks the rows.
  void Recount(size_t row);
  void RecountAll();
  size_t NewRows() const { return counts_[0]; }
  size_t SpamRows() const { return counts_[1]; }
  size_t DangerousRows() const { return counts_[2]; }

 private:
  // The message-to-row map: open addressing over a power-of-two table,
  // rebuilt after a sort or a removal (both move rows anyway).
  // Rebuilt lazily, on the first lookup after the rows moved.
  void Reindex() const;
  void Insert(const MailMessage* m, uint32_t row) const;
  size_t Slot(const MailMessage* m) const;
  void Count(const ListRowRef& r, int sign);
  std::vector<ListRowRef> rows_;
  size_t counts_[3] = {0, 0, 0};
  std::vector<ListRowRef> scratch_;  // the sort's second buffer, kept
  std::vector<std::pair<uint64_t, uint32_t>> numbers_, numbers2_;  // sort keys and the radix pass's second buffer, kept
  std::vector<std::pair<const wchar_t*, uint32_t>> texts_;
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
